// Animation frame sets: a folder of bitmap pictures named boot1.bmp..boot12.bmp (start-up)
// or End1.bmp..End8.bmp (shutdown). Scanning lists the folder's ".bmp" files; the check
// tells which frames are present (and, for start-up frames, of the right size).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "station/settings/prefer_package.h"

namespace station {

int frameCount(Animation animation);
// The exact names the check accepts: "boot%d.bmp" / "End%d.bmp".
std::string frameName(Animation animation, int n);
// The names the builder and the preview load: "Boot%d.bmp" / "End%d.bmp" (matched without
// regard to case, as the Windows file system does).
std::string pictureName(Animation animation, int n);
// All frames present: 0xFFF / 0xFF.
unsigned fullMask(Animation animation);

// The folder with its separator at the end.
std::string withSeparator(const std::string& folder);
// The folder part (with its separator) of a listed path.
std::string folderPart(const std::string& path);
// The name after the last separator.
std::string namePart(const std::string& path);

// Appends every ".bmp" file of the folder (hidden entries, "." "..", and folders skipped;
// extension compared in lower case) to `list`, in the system's order. `pump` runs after
// each appended file so that the window stays responsive.
void LoadFavorite(const std::string& folder, std::vector<std::string>& list,
                  const std::function<void()>& pump = {});

// The presence mask of a set: bit n-1 for frame n. Start-up frames count only at w x h.
unsigned checkFrameSet(Animation animation, const std::vector<std::string>& list, int w, int h,
                       const PictureLoader& loader);

// The set's message when it fails (UTF-8); the caption is kPictureShortCaption.
std::string frameSetMessage(Animation animation, int w, int h);

// The path of a picture in the folder, its name matched without regard to case when the
// file system itself does not do so; the exact name when nothing matches.
std::string resolvePicture(const std::string& folder, const std::string& name);

}  // namespace station
