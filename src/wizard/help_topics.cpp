// help_topics.cpp: finding the help folder and a topic's file.
#include "wizard/help_topics.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString default_help_folder()
{
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../share/vandrel/help");
    if (QFileInfo(installed).isDir())
    {
        return QDir::cleanPath(installed);
    }
    return QStringLiteral(ZOV_WIZARD_SOURCE_HELP_DIR);
}

QString help_file(const QString& folder, int topic)
{
    const QString name =
        topic == help_topic::none ? QStringLiteral("index.html") : QString("%1.html").arg(topic);
    return QDir(folder).filePath(name);
}
