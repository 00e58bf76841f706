// Where a folder claim that is to reach every session of the machine is made, when the
// machine-wide namespace does not simply let it be created.
#pragma once

namespace tandrel::platform {

// How creating (or opening) the machine-wide object went.
enum class ClaimAttempt { kOk, kAccessDenied, kNotFound, kOtherFailure };

enum class ClaimPlace {
  kMachineWide,      // use the object created or opened there
  kTakenElsewhere,   // it exists and is not ours to open: another user's claim
  kSessionLocal,     // this session cannot use that namespace; claim within the session
};

// `open` is the result of opening the existing object after a creation that was denied;
// it is not looked at otherwise.
ClaimPlace ChooseClaimPlace(ClaimAttempt create, ClaimAttempt open);

}  // namespace tandrel::platform
