#pragma once

#include "findings.h"

#include <QMap>
#include <QString>
#include <QTreeView>

#include <vector>

class QStandardItemModel;

// The findings of a run in the order given, each with its level as an icon
// and, for screen readers, in words. A finding opens (click, Enter or Space)
// to the tests it was read from, each with the first lines it printed; Enter
// or a double click on a test asks for its whole output. Ctrl+C copies the
// findings as the terminal prints them.
class FindingsList : public QTreeView
{
    Q_OBJECT

public:
    explicit FindingsList(QWidget *parent = nullptr);

    void setFindings(const std::vector<Finding> &findings,
                     const QMap<BatteryRow, QString> &commandsByRow,
                     const QMap<BatteryRow, QString> &outputHeadsByRow);
    void copyFindings() const;

signals:
    void wholeOutputRequested(const QString &displayName);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void openItem(const QModelIndex &index);
    void rowsMoved();

    QStandardItemModel *items = nullptr;
    std::vector<Finding> shown;
};
