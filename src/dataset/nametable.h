#pragma once

#include <QStringView>

#include <optional>
#include <span>

namespace quillmap {

// The position of `name` in a fixed table of names that spells an enum's values (genome builds,
// tool formats: value k is names[k]); exact and case-sensitive; none when it is not there.
std::optional<int> nameIndex(QStringView name, std::span<const char *const> names);

} // namespace quillmap
