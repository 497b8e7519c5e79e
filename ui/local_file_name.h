#pragma once
// File names between Qt and the disk. On Linux a name is bytes and need not be UTF-8; Qt shows
// such bytes as replacement characters and cannot give them back. These helpers keep the bytes
// wherever a name passes through a control, and find the file a dialog meant.

#include <QString>
#include <string>
#include <string_view>

class QLineEdit;

namespace ui {

// How a name's bytes are shown in a control.
QString ShownFileName(std::string_view bytes);

// The bytes of a name chosen in a file dialog or typed by the user: its UTF-8 form; where a part
// of it shows replacement characters and names nothing, the one entry of that folder shown the
// same way (a name that is not UTF-8, as the dialog listed it).
std::string LocalFileName(const QString& name);

// A file name kept in an edit: the text shows it, the bytes stay with the control, so a name
// that is not UTF-8 still reaches open() unchanged.
void SetFileNameEdit(QLineEdit* edit, std::string_view bytes);
// The bytes of the name the edit shows: those kept by SetFileNameEdit while the text is
// unchanged, otherwise LocalFileName of the text.
std::string FileNameInEdit(const QLineEdit* edit);

}  // namespace ui
