#pragma once
// The server's texts are Windows-1252 bytes; Qt's are Unicode. Every text crosses here.
//
//   QtText(bytes)      Windows-1252 as a QString; CR LF and lone CR become "\n"
//   ServerText(text)   a QString as Windows-1252; characters the code page lacks become '?'
//   Uncarried(text)    those characters, each once: what a value must not hold to be stored
//   QtColour(colour)   a 0x00BBGGRR colour as a QColor

#include <QColor>
#include <QString>
#include <string>
#include <vector>

#include "platform/Charset.hpp"

namespace velmorin {

QString QtText(const std::string& windows1252);
std::string ServerText(const QString& text);
std::vector<UncarriedCharacter> Uncarried(const QString& text);
QColor QtColour(long bgr);

}  // namespace velmorin
