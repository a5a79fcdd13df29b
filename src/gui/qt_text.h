// Texts between the core (UTF-8 std::string) and the window (QString).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace corvane {

inline QString QtText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ToStd(const QString& text) { return text.toStdString(); }

}  // namespace corvane
