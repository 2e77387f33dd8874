#include "findingslist.h"

#include "findingstexts.h"
#include "levelicon.h"

#include <QAccessible>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

namespace {

constexpr int displayNameRole = Qt::UserRole;

// Measures a row at the width it is drawn in, beside the branch indicators:
// the tree view asks with no width, so its rows would not wrap.
class WrappedRowDelegate : public QStyledItemDelegate
{
public:
    explicit WrappedRowDelegate(QTreeView *view) : QStyledItemDelegate(view), view(view) {}

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        int depth = 1;
        for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
            ++depth;
        QStyleOptionViewItem wrapped = option;
        wrapped.rect = QRect(0, 0, view->viewport()->width() - depth * view->indentation(), 1);
        return QStyledItemDelegate::sizeHint(wrapped, index);
    }

private:
    QTreeView *view;
};

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
    setItemDelegate(new WrappedRowDelegate(this));
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
    // However a finding opens or closes: by us, the arrow keys or its branch.
    connect(this, &QTreeView::expanded, this, &FindingsList::rowsMoved);
    connect(this, &QTreeView::collapsed, this, &FindingsList::rowsMoved);
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

// Wrapped rows take the height of the new width: the view keeps the heights
// it measured at the old one.
void FindingsList::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        scheduleDelayedItemsLayout();
}

// A finding opens or closes; a test asks for its whole output.
void FindingsList::openItem(const QModelIndex &index)
{
    if (index.parent().isValid())
        emit wholeOutputRequested(index.data(displayNameRole).toString());
    else
        setExpanded(index, !isExpanded(index));
}

// The accessible tree keeps the rows it has handed out by their place and
// (since Qt 6.8) would go on naming the old rows at the places that moved.
void FindingsList::rowsMoved()
{
    QAccessibleTableModelChangeEvent change(this, QAccessibleTableModelChangeEvent::ModelReset);
    if (QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(this);
        tree && tree->tableInterface())
        tree->tableInterface()->modelChange(&change);
    QAccessible::updateAccessibility(&change);
}
