#pragma once

#include "reportpages.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// A window of its own that shows the report as it left the program, read-only
// and monospaced, one page at a time, with Find (Ctrl+F) and Next over the
// whole report. Esc closes it.
class ReportView : public QDialog
{
    Q_OBJECT

public:
    ReportView(ReportPages pages, const QString &title, QWidget *parent = nullptr);

private:
    void showPage(int page);
    void findNext();

    ReportPages pages;
    int shownPage = 0;
    QPlainTextEdit *text = nullptr;
    QLineEdit *findField = nullptr;
    QLabel *findStatus = nullptr;
    QLabel *pageLabel = nullptr;
    QPushButton *previousPageButton = nullptr;
    QPushButton *nextPageButton = nullptr;
};
