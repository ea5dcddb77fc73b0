#include "admin-gui/GuiText.hpp"

#include "platform/Charset.hpp"

namespace velmorin {

QString QtText(const std::string& windows1252) {
  QString text;
  text.reserve(static_cast<qsizetype>(windows1252.size()));
  for (std::size_t i = 0; i < windows1252.size(); ++i) {
    const auto byte = static_cast<unsigned char>(windows1252[i]);
    if (byte == '\r') {
      if (i + 1 < windows1252.size() && windows1252[i + 1] == '\n') ++i;
      text += QChar('\n');
      continue;
    }
    const char32_t code = CodePointOfWindows1252(byte);
    text += QChar(code == 0 ? char32_t{0xFFFD} : code);
  }
  return text;
}

std::string ServerText(const QString& text) { return Windows1252OfUtf8(text.toStdString()); }

std::vector<UncarriedCharacter> Uncarried(const QString& text) {
  return ConvertUtf8ToWindows1252(text.toStdString()).uncarried;
}

QColor QtColour(long bgr) {
  const auto value = static_cast<unsigned long>(bgr);
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

}  // namespace velmorin
