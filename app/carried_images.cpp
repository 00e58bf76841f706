// The pictures the program carries: the splash (PNG) and the sixteen-pixel icons (ICO),
// compiled in from app/resources (made by tools/artwork/make_artwork.py).
#include <png.h>

#include <cstddef>
#include <cstring>

#include "app/object_numbers.h"
#include "app/shell.h"
#include "embedded_files.h"

namespace tandrel::app {
namespace {

struct CarriedIcon {
  ui::ImageId image;
  const unsigned char* bytes;
  const std::size_t* size;
};

const CarriedIcon kIcons[] = {
    {kImageManageFolders, kIconManageFolders, &kIconManageFolders_size},
    {kImageUpdateIndex, kIconUpdateIndex, &kIconUpdateIndex_size},
    {kImageHelp, kIconHelp, &kIconHelp_size},
    {kImageAbout, kIconAbout, &kIconAbout_size},
    {kTrayIdleIcon, kIconTrayIdle, &kIconTrayIdle_size},
    {kTrayBusyIcon, kIconTrayBusy, &kIconTrayBusy_size},
    {kImageQuit, kIconQuit, &kIconQuit_size},
    {kImageSettings, kIconSettings, &kIconSettings_size},
    {kImageProgramUpdate, kIconProgramUpdate, &kIconProgramUpdate_size},
};

}  // namespace

bool DecodePng(const std::uint8_t* bytes, std::size_t size, ui::Picture& picture) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes, size)) return false;
  image.format = PNG_FORMAT_BGRA;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.bgra = std::move(pixels);
  return true;
}

bool LoadCarriedImages(ui::Ui& ui, ui::Picture& splash) {
  bool all = DecodePng(kSplashPng, kSplashPng_size, splash);
  for (const CarriedIcon& icon : kIcons) {
    all = ui.LoadIconImage(icon.image, icon.bytes, *icon.size) && all;
  }
  return all;
}

}  // namespace tandrel::app
