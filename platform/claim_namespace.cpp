#include "platform/claim_namespace.h"

namespace tandrel::platform {

// A denied creation means one of two things: the object exists and its owner did not
// share it (opening it is denied too), or the session may not create objects in that
// namespace at all (then there is nothing to open). Only the second may fall back to a
// session-local claim; the first would let two users' runs share one folder.
ClaimPlace ChooseClaimPlace(ClaimAttempt create, ClaimAttempt open) {
  if (create == ClaimAttempt::kOk) return ClaimPlace::kMachineWide;
  if (create != ClaimAttempt::kAccessDenied) return ClaimPlace::kSessionLocal;
  switch (open) {
    case ClaimAttempt::kOk: return ClaimPlace::kMachineWide;
    case ClaimAttempt::kAccessDenied: return ClaimPlace::kTakenElsewhere;
    case ClaimAttempt::kNotFound:
    case ClaimAttempt::kOtherFailure: break;
  }
  return ClaimPlace::kSessionLocal;
}

}  // namespace tandrel::platform
