// The one conversion between the engine's byte-string paths and the texts the windows show.
#pragma once

#include <QFile>
#include <QString>

#include <string>

inline QString pathText(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

inline std::string textPath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}
