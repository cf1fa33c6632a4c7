#pragma once

#include <QStringList>

// The dataset registry as kept in the per-user settings (organisation "Diravizi", application
// "Quillmap", key "path"): the whole list of dataset folders, in registry order.
namespace registrystore {

// The stored list; empty when the key is absent or the settings cannot be read or parsed.
QStringList read();

// Rewrites key "path" whole with `folders`. A failure to write is not reported.
void write(const QStringList &folders);

} // namespace registrystore
