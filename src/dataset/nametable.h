#pragma once

#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>

namespace quillmap {

// The position of `name` in a fixed table of names that spells an enum's values (genome builds,
// tool formats: value k is names[k]); exact and case-sensitive; none when it is not there.
std::optional<int> nameIndex(QStringView name, std::span<const char *const> names);

// Such a table for `Enum`, whose values are 0, 1, 2, ... in the table's order.
template <typename Enum>
class EnumNames final
{
public:
    constexpr explicit EnumNames(std::span<const char *const> names)
        : m_names(names)
    {
    }

    QString nameOf(Enum value) const { return QString::fromLatin1(m_names[size_t(value)]); }
    std::optional<Enum> named(QStringView name) const
    {
        if (const std::optional<int> k = nameIndex(name, m_names))
            return Enum(*k);
        return std::nullopt;
    }
    // Every name, in the table's order.
    QStringList all() const
    {
        QStringList names;
        for (const char *name : m_names)
            names.append(QString::fromLatin1(name));
        return names;
    }

private:
    std::span<const char *const> m_names;
};

} // namespace quillmap
