// The one conversion between the engine's byte-string paths and the texts the windows show.
#pragma once

#include <QFile>
#include <QString>

#include <string>

// A path as the windows show it, decoded the way the system decodes file names.
inline QString textFromPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// The path a text names: the reverse of textFromPath, exact for a text that came from a path.
inline std::string pathFromText(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}
