#include "dataset/nametable.h"

#include <QLatin1StringView>

namespace quillmap {

std::optional<int> nameIndex(QStringView name, std::span<const char *const> names)
{
    for (size_t k = 0; k < names.size(); ++k) {
        if (name == QLatin1StringView(names[k]))
            return int(k);
    }
    return std::nullopt;
}

} // namespace quillmap
