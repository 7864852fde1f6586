#pragma once

#include <string>

namespace nimbra {

// A folder for files handed to other programs (the page dragged out of the
// address bar) that no other user can enter or plant: "<runtime>/<name>"
// when $XDG_RUNTIME_DIR is a private folder of this user, else a folder of
// this process made by mkdtemp in the temporary folder. With `create` it is
// made (mode 0700) when missing. Empty when it does not exist or is not a
// folder of this user's alone (a symbolic link never is).
std::string PrivateFolder(const std::string& name, bool create);

// Deletes the files ending in `suffix` in a private folder and its
// subfolders, then the subfolders and the folder when they are empty.
// Symbolic links are never followed; a folder that is not private is left
// alone.
void RemovePrivateFolder(const std::string& folder, const std::string& suffix);

} // namespace nimbra
