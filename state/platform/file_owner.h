#pragma once

#include <QString>

namespace server {

// Gives a file being written into a folder the folder's owner and group,
// when root writes it and they differ. The packaged service's state folder
// belongs to the service's own user (DynamicUser=yes), and systemd hands
// back to it only a folder it does not own already, never a file within:
// a file only its owner may read, written there by root, would stay
// unreadable to the service. For anyone but root, and on Windows, the file
// is left as it is. False with the reason when it cannot be given.
bool shareFolderOwner(int descriptor, const QString& folder, QString* error);

} // namespace server
