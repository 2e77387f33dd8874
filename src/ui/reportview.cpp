#include "reportview.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextDocument>
#include <QVBoxLayout>

ReportView::ReportView(ReportPages pages, const QString &title, QWidget *parent)
    : QDialog(parent), pages(std::move(pages))
{
    setWindowTitle(title);
    auto *findLabel = new QLabel(tr("&Find:"), this);
    findField = new QLineEdit(this);
    findLabel->setBuddy(findField);
    auto *nextButton = new QPushButton(tr("&Next"), this);
    // Enter in the field finds the next place too.
    nextButton->setDefault(true);
    findStatus = new QLabel(this);
    previousPageButton = new QPushButton(tr("P&revious Page"), this);
    pageLabel = new QLabel(this);
    nextPageButton = new QPushButton(tr("Next Pa&ge"), this);
    text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    text->setAccessibleName(tr("Report"));
    // Each line as the command printed it; wrapping would also lay out a
    // long page far more slowly.
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);

    auto *findRow = new QHBoxLayout;
    for (QWidget *widget :
         std::initializer_list<QWidget *>{findLabel, findField, nextButton, findStatus})
        findRow->addWidget(widget);
    findRow->addStretch();
    for (QWidget *widget :
         std::initializer_list<QWidget *>{previousPageButton, pageLabel, nextPageButton})
        findRow->addWidget(widget);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(findRow);
    layout->addWidget(text);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(nextButton, &QPushButton::clicked, this, &ReportView::findNext);
    connect(previousPageButton, &QPushButton::clicked, this, [this] { showPage(shownPage - 1); });
    connect(nextPageButton, &QPushButton::clicked, this, [this] { showPage(shownPage + 1); });
    for (QPushButton *button : {previousPageButton, nextPageButton})
        button->setAutoDefault(false);
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        findField->setFocus();
        findField->selectAll();
    });
    connect(new QShortcut(QKeySequence::FindNext, this), &QShortcut::activated, this,
            &ReportView::findNext);

    const bool paged = this->pages.count() > 1;
    for (QWidget *widget :
         std::initializer_list<QWidget *>{previousPageButton, pageLabel, nextPageButton})
        widget->setVisible(paged);
    resize(900, 640);
    showPage(0);
}

void ReportView::showPage(int page)
{
    shownPage = page;
    text->setPlainText(pages.text(page).value_or(tr("The report could not be read back.")));
    pageLabel->setText(tr("Page %1 of %2").arg(page + 1).arg(pages.count()));
    previousPageButton->setEnabled(page > 0);
    nextPageButton->setEnabled(page + 1 < pages.count());
}

// From the place shown on through the pages that follow, and round.
void ReportView::findNext()
{
    const QString needle = findField->text();
    if (needle.isEmpty())
        return;
    QTextCursor found = text->document()->find(needle, text->textCursor());
    if (found.isNull()) {
        if (const std::optional<int> page = pages.nextPageWith(needle, shownPage)) {
            if (*page != shownPage)
                showPage(*page);
            found = text->document()->find(needle, 0);
        }
    }
    findStatus->setText(found.isNull() ? tr("Not found") : QString());
    if (!found.isNull()) {
        text->setTextCursor(found);
        text->ensureCursorVisible();
    }
}
