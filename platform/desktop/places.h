#pragma once
// The places a folder browser offers (the root, the home folder and mounted
// volumes, as there are no drive letters), and the folder a browser opens when the user has not chosen one yet. The file
// pickers of the custom editor and the folder panels of the simple editor
// both take their place lists from here, so the two always agree.
#include <QStringList>

#include <string>
#include <vector>

namespace lv {

struct storage_place {
    std::string path;    // no trailing "/" ("/" itself excepted)
    std::string label;   // what the place list shows
};

// "/" first, then the volumes mounted under /media, /mnt and /run/media, then
// the user's home folder (labelled "Home (...)").
std::vector<storage_place> place_list();
// The paths of place_list(), in its order.
std::vector<std::string> storage_places();
// The place a folder lies in: the longest place path that holds it ("/" at least).
std::string storage_place_of(const std::string& folder);

// The kind of file a browser looks for.
enum class media_kind { pictures, sounds };

// The user's own folder for that kind (the XDG Pictures or Music folder)
// when it exists, otherwise the home folder.
std::string user_media_folder(media_kind kind);

// The folder a browser opens for its remembered folder. The remembered folder
// starts out as the program's own folder, which normally holds no pictures or
// sounds (a build folder or /usr/bin), so a browser then opens in the user's
// own folder for the kind instead. A program folder that does hold files of the patterns is kept.
std::string opening_folder(const std::string& remembered, const std::string& program_folder, media_kind kind,
                           const QStringList& patterns);

}  // namespace lv
