// Builds for other systems than Windows have no updater to carry.
#include <cstddef>

extern const unsigned char kUpdaterImage[] = {0};
extern const std::size_t kUpdaterImage_size = 0;
