// The maximum length of an edit box as the handlers expect it: it limits what
// the user types or pastes, never what the program writes. QLineEdit's own
// maxLength truncates program text too ("-12.5dB" would show as "-12.5d"), so
// the limit is kept by a guard that undoes user edits which make the text
// longer than the limit. Text that the program made longer than the limit
// can still be shortened by the user.
#pragma once

class QLineEdit;

// 0 removes the limit.
void SetMaxLength(QLineEdit* edit, int maxLength);
// 0 when the edit box has no limit.
int MaxLength(const QLineEdit* edit);
