#pragma once

class QWidget;

// Opens the note behind the window's "What is sent" link over parent: the same
// list as the manual page's WHAT IS SENT, of what the report holds, where it
// goes and what is masked.
void showWhatIsSent(QWidget *parent);
