#pragma once
// Applies a window's section of a language file to its controls through Qt's property system.
//
// A key "control.property" sets the Qt property `property` of the object whose objectName is
// `control` (the window itself when `control` is the window's own name); "control.property.3"
// and "control.property.1.4" address the elements of a control array, named "control_3" and
// so on. Values are Windows-1252 texts with "<SP>" and "<BR>" decoded.
//
// Only text properties a control declares are set: Qt would otherwise add a dynamic property and
// the text would vanish without a trace, or read a text as a number or flag. ApplyWindowLanguage
// returns every key it could not apply (no such control, no such text property, an index range
// out of bounds), so a test can hold the shipped language files to the windows they describe.

#include <QObject>
#include <string>
#include <vector>

namespace velmorin {

// Applies the section `windowName` of the language file `file` to `window` and its children.
std::vector<std::string> ApplyWindowLanguage(QObject& window, const std::string& windowName, const std::string& file);

}  // namespace velmorin
