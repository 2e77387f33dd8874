#pragma once

#include "findings.h"
#include "toolcheck.h"

#include <QMap>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class MainController;
class QLabel;
class QTextBrowser;
class ReportView;

namespace Ui {
class MainWindow;
}

// The main window, loaded from its Designer description. It owns its controls,
// reads its fields when the user starts a run and renders each state of the
// controller's runs: ready, busy, link shown and error shown.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(MainController &controller, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Puts a text into a results view and makes its web addresses links.
    static void setTextView(QTextBrowser *view, const QString &text);
    static void hiliteAndActivateURLs(QTextBrowser *view);

protected:
    void changeEvent(QEvent *event) override;

private:
    void connectActions();
    void setStatusText(QLabel *label, const QString &text);
    void connectController();

    void runTests();
    void copyToClipBoardLinkButtonPressed();
    void shareButtonPressed();
    void showReport();

    void runStarted(int testCount);
    void showMissingTools(const std::vector<BatteryTool> &tools);
    void updateProgress(int finished, int total);
    void showFindings(const std::vector<Finding> &findings,
                      const QMap<BatteryRow, QString> &commandsByRow,
                      const QMap<BatteryRow, QString> &outputHeadsByRow);
    void openReportCopy();
    void showLink(const QString &resultsUrl);
    void showError(const QString &message, const QString &savedCopyPath);

    void disableUI();
    void enableUI();
    void setInputsEnabled(bool enabled);
    void showProgress();
    void hideProgress();
    void setLinkButtonsEnabled(bool enabled);

    MainController &controller;
    std::unique_ptr<Ui::MainWindow> ui;
    // Shown in the status line while the run lasts.
    QString testDomainNotice;
    // The last run's report as a file, once there is one: the copy a failed
    // upload saved, or one made when the user asks for a test's whole output.
    QString reportCopyPath;
    // The last report, while its view is open.
    QPointer<ReportView> reportView;
};
