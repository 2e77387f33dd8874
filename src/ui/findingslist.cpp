#include "findingslist.h"

#include "findingstexts.h"
#include "levelicon.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStandardItemModel>

namespace {

constexpr int displayNameRole = Qt::UserRole;

QStandardItem *testItem(const QString &displayName, const QString &outputHead)
{
    auto *item = new QStandardItem(findingstexts::testLines(displayName, outputHead));
    item->setData(displayName, displayNameRole);
    item->setData(findingstexts::spokenTest(displayName, outputHead), Qt::AccessibleTextRole);
    item->setData(FindingsList::tr("Enter or a double click shows its whole output"),
                  Qt::AccessibleDescriptionRole);
    item->setData(QFontDatabase::systemFont(QFontDatabase::FixedFont), Qt::FontRole);
    item->setEditable(false);
    return item;
}

} // namespace

FindingsList::FindingsList(QWidget *parent) : QTreeView(parent), items(new QStandardItemModel(this))
{
    setModel(items);
    setHeaderHidden(true);
    setWordWrap(true);
    setUniformRowHeights(false);
    setEditTriggers(NoEditTriggers);
    // A click opens a finding already; a double click would close it again.
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeView::clicked, this, [this](const QModelIndex &index) {
        if (!index.parent().isValid())
            openItem(index);
    });
    connect(this, &QTreeView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.parent().isValid())
            openItem(index);
    });
}

void FindingsList::setFindings(const std::vector<Finding> &findings,
                               const QMap<BatteryRow, QString> &commandsByRow,
                               const QMap<BatteryRow, QString> &outputHeadsByRow)
{
    shown = findings;
    items->clear();
    // The header is hidden, yet screen readers name the column by it.
    items->setHorizontalHeaderLabels({tr("Findings")});
    for (const Finding &finding : findings) {
        auto *item = new QStandardItem(levelIcon(finding.level), finding.text);
        item->setData(findingstexts::spoken(finding), Qt::AccessibleTextRole);
        item->setData(tr("Opens to the tests it was read from"), Qt::AccessibleDescriptionRole);
        item->setEditable(false);
        for (const BatteryRow row : finding.rows)
            item->appendRow(testItem(commandsByRow.value(row), outputHeadsByRow.value(row)));
        items->appendRow(item);
    }
    if (items->rowCount() > 0)
        setCurrentIndex(items->index(0, 0));
}

void FindingsList::copyFindings() const
{
    QGuiApplication::clipboard()->setText(findingsText(shown));
}

void FindingsList::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copyFindings();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (currentIndex().isValid()) {
            openItem(currentIndex());
            return;
        }
        break;
    default:
        break;
    }
    QTreeView::keyPressEvent(event);
}

// A finding opens or closes; a test asks for its whole output.
void FindingsList::openItem(const QModelIndex &index)
{
    if (index.parent().isValid())
        emit wholeOutputRequested(index.data(displayNameRole).toString());
    else
        setExpanded(index, !isExpanded(index));
}
