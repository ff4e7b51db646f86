// help_topics.h: the help topic of each page and dialog, and where the topics are found.
#pragma once

#include <QString>

namespace help_topic
{
inline constexpr int none = 0; ///< no topic: the help index
inline constexpr int welcome = 1013;
inline constexpr int pgs_settings = 1010;
inline constexpr int mssql_settings = 1017;
inline constexpr int databases = 1016;
inline constexpr int options = 1011;
inline constexpr int tables = 1015;
inline constexpr int overwrite = 1014;
} // namespace help_topic

/// The folder of the installed help topics: <prefix>/share/vandrel/help beside the program's
/// bin folder when it exists, else the source tree's help folder (a program run from build/).
QString default_help_folder();

/// The file of `topic` in `folder`: "<topic>.html", or "index.html" for help_topic::none.
QString help_file(const QString& folder, int topic);
