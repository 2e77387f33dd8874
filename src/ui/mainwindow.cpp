#include "mainwindow.h"

#include "buildconfig.h"
#include "findingstexts.h"
#include "maincontroller.h"
#include "reportfile.h"
#include "reportview.h"
#include "resultsview.h"
#include "ui_mainwindow.h"
#include "whatissent.h"
#include "windowaccessible.h"
#include "windowsize.h"

#include <QClipboard>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QUrl>

MainWindow::MainWindow(MainController &controller, QWidget *parent)
    : QWidget(parent), controller(controller), ui(std::make_unique<Ui::MainWindow>())
{
    installWindowAccessible();
    ui->setupUi(this);
    setWindowTitle(tr("Veltrane Diagnostic v%1").arg(QLatin1String(buildconfig::version)));
    resize(rememberedWindowSize(size()));
    for (QWidget *control :
         {ui->textResultsLinkView, static_cast<QWidget *>(ui->textCopyPaste),
          static_cast<QWidget *>(ui->copyToClipBoardLink), static_cast<QWidget *>(ui->shareButton)})
        control->hide();
    connectActions();
    connectController();
    controller.awakeFromNib();
}

MainWindow::~MainWindow()
{
    rememberWindowSize(size());
}

// Links in a label keep the colour of the palette they were read under: read
// again, they take the new one when the desktop changes its theme.
void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::PaletteChange)
        return;
    for (QLabel *label : findChildren<QLabel *>()) {
        const QString text = label->text();
        if (label->textFormat() == Qt::PlainText || !text.contains(QLatin1String("<a ")))
            continue;
        label->clear();
        label->setText(text);
    }
}

void MainWindow::connectActions()
{
    connect(ui->buttonStartTests, &QPushButton::clicked, this, &MainWindow::runTests);
    connect(ui->copyToClipBoardLink, &QPushButton::clicked, this,
            &MainWindow::copyToClipBoardLinkButtonPressed);
    connect(ui->shareButton, &QPushButton::clicked, this, &MainWindow::shareButtonPressed);
    connect(ui->findingsList, &FindingsList::wholeOutputRequested, this,
            &MainWindow::openReportCopy);
    connect(ui->showReportButton, &QPushButton::clicked, this, &MainWindow::showReport);
    connect(ui->textWhatIsSent, &QLabel::linkActivated, this, [this] { showWhatIsSent(this); });
    setTabOrder(ui->shareButton, ui->showReportButton);

    // Enter in any field starts a run, as the start button would; a click on
    // a disabled button does nothing, so no second run can start.
    for (QLineEdit *field : {ui->textVeltraneAccount, ui->textTicketNo, ui->textDomainToTest}) {
        connect(field, &QLineEdit::returnPressed, ui->buttonStartTests, &QPushButton::click);
    }
}

void MainWindow::connectController()
{
    connect(&controller, &MainController::toolsMissing, this, &MainWindow::showMissingTools);
    connect(&controller, &MainController::testDomainSkipped, this,
            [this](const QString &notice) { testDomainNotice = notice; });
    connect(&controller, &MainController::runStarted, this, &MainWindow::runStarted);
    connect(&controller, &MainController::progressChanged, this, &MainWindow::updateProgress);
    connect(&controller, &MainController::findingsFound, this, &MainWindow::showFindings);
    connect(&controller.delivery(), &Delivery::uploadSucceeded, this, &MainWindow::showLink);
    connect(&controller.delivery(), &Delivery::uploadFailed, this, &MainWindow::showError);
}

void MainWindow::runTests()
{
    controller.runTests(
        {ui->textVeltraneAccount->text(), ui->textTicketNo->text(), ui->textDomainToTest->text()});
}

void MainWindow::runStarted(int testCount)
{
    disableUI();
    reportCopyPath.clear();
    ui->showReportButton->setEnabled(false);
    ui->progressIndicator->setRange(0, testCount);
    ui->progressIndicator->setValue(0);
    // Graphite: a grey bar rather than the accent colour.
    QPalette palette = ui->progressIndicator->palette();
    palette.setColor(QPalette::Highlight, QColor(0x8e, 0x8e, 0x93));
    ui->progressIndicator->setPalette(palette);
    showProgress();
}

void MainWindow::showMissingTools(const std::vector<BatteryTool> &tools)
{
    QStringList names;
    QStringList notices;
    for (const BatteryTool &tool : tools) {
        names.append(tool.name());
        notices.append(missingToolNotice(tool));
    }
    setStatusText(ui->textMissingTools,
                  tr("Not found on this computer, so the report lacks their tests: %1")
                      .arg(names.join(QStringLiteral(", "))));
    ui->textMissingTools->setToolTip(notices.join(u'\n'));
    ui->textMissingTools->show();
}

void MainWindow::updateProgress(int finished, int total)
{
    QString status = tr("Please wait. Finished %1 out of %2 tests.").arg(finished).arg(total);
    if (!testDomainNotice.isEmpty())
        status += u'\n' + testDomainNotice.left(1).toUpper() + testDomainNotice.mid(1) + u'.';
    setStatusText(ui->textStatus, status);
    ui->progressIndicator->setValue(finished);
}

// A status line is named by what it says, so that a screen reader hears each
// change.
void MainWindow::setStatusText(QLabel *label, const QString &text)
{
    label->setText(text);
    label->setAccessibleName(text);
}

// Filled as the tests end, shown with the result of the upload.
void MainWindow::showFindings(const std::vector<Finding> &findings,
                              const QMap<BatteryRow, QString> &commandsByRow,
                              const QMap<BatteryRow, QString> &outputHeadsByRow)
{
    ui->findingsList->setFindings(findings, commandsByRow, outputHeadsByRow);
    ui->textFindingsHeadline->setText(findingstexts::headline(findings));
    ui->textFindingsHeadline->setVisible(!findings.empty());
    ui->findingsList->setVisible(!findings.empty());
}

// The whole block of a test is in the report: the copy of the failed upload,
// or a private one made the first time it is asked for.
void MainWindow::openReportCopy()
{
    if (reportCopyPath.isEmpty()) {
        ReportFile file = ReportFile::freshIn(QDir::tempPath());
        if (!file.isOpen() || !controller.buildResults(*file.device()) || !file.finish()) {
            qWarning().noquote() << "could not write a copy of the report:" << file.errorString();
            return;
        }
        reportCopyPath = file.path();
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(reportCopyPath));
}

void MainWindow::showLink(const QString &resultsUrl)
{
    enableUI();
    hideProgress();
    setTextView(ui->textResultsLink, tr("See results at ") + resultsUrl);
    ui->textResultsLinkView->show();
    ui->textCopyPaste->show();
    setLinkButtonsEnabled(true);
    ui->showReportButton->setEnabled(true);
}

// The delivery's messages, for the translation tools: the window shows them in
// the user's language, the log as they are.
[[maybe_unused]] static const char *const deliveryMessages[] = {
    QT_TRANSLATE_NOOP("Delivery", "There was an error submitting the results"),
    QT_TRANSLATE_NOOP("Delivery", "There was an internal server errror"),
};

void MainWindow::showError(const QString &message, const QString &savedCopyPath)
{
    enableUI();
    hideProgress();
    // Where the copy is, in case no text editor opens it.
    const QString shown = QCoreApplication::translate("Delivery", qUtf8Printable(message));
    const QString savedIn = u'\n' + tr("The report is saved in ");
    reportCopyPath = savedCopyPath;
    if (savedCopyPath.isEmpty()) {
        setTextView(ui->textResultsLink, shown + u'\n' + tr("The report could not be saved."));
    } else {
        const QUrl copy = QUrl::fromLocalFile(savedCopyPath);
        setTextView(ui->textResultsLink, shown + savedIn + savedCopyPath);
        resultsview::markLink(*ui->textResultsLink, shown.size() + savedIn.size(),
                              savedCopyPath.size(), copy);
        resultsview::paintText(*ui->textResultsLink);
        // The saved report opens in the user's text editor.
        QDesktopServices::openUrl(copy);
    }
    ui->textResultsLinkView->show();
    // An earlier run's link is still there to copy or open.
    setLinkButtonsEnabled(controller.resultsLink().has_value());
    ui->showReportButton->setEnabled(controller.delivery().sentReport() != nullptr);
}

void MainWindow::disableUI()
{
    setInputsEnabled(false);
}

void MainWindow::enableUI()
{
    setInputsEnabled(true);
}

void MainWindow::setInputsEnabled(bool enabled)
{
    for (QWidget *control :
         {static_cast<QWidget *>(ui->buttonStartTests),
          static_cast<QWidget *>(ui->textVeltraneAccount), static_cast<QWidget *>(ui->textTicketNo),
          static_cast<QWidget *>(ui->textDomainToTest)})
        control->setEnabled(enabled);
}

// The first progress update is posted by the controller as the run starts.
void MainWindow::showProgress()
{
    ui->textResultsLinkView->hide();
    ui->textCopyPaste->hide();
    ui->textStatus->show();
    // A determinate bar has no animation of its own to start: styles that
    // animate one do so while it is shown.
    ui->progressIndicator->show();
    ui->copyToClipBoardLink->hide();
    ui->shareButton->hide();
}

void MainWindow::hideProgress()
{
    ui->textMissingTools->hide();
    testDomainNotice.clear();
    ui->textStatus->hide();
    ui->progressIndicator->hide();
    ui->copyToClipBoardLink->show();
    ui->shareButton->show();
}

void MainWindow::setLinkButtonsEnabled(bool enabled)
{
    ui->copyToClipBoardLink->setEnabled(enabled);
    ui->shareButton->setEnabled(enabled);
}

void MainWindow::copyToClipBoardLinkButtonPressed()
{
    // Until an upload has succeeded there is nothing to copy; the clipboard
    // keeps what the user had on it.
    const std::optional<QString> &link = controller.resultsLink();
    if (!link)
        return;
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(*link);
}

void MainWindow::shareButtonPressed()
{
    const std::optional<QString> &link = controller.resultsLink();
    if (!link)
        return;
    // A reply that is no valid URL is not handed to the desktop: what it
    // would open is anyone's guess.
    const QUrl url(*link, QUrl::StrictMode);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

// One view, of the last report: an older one goes.
void MainWindow::showReport()
{
    const std::shared_ptr<QIODevice> report = controller.delivery().sentReport();
    if (!report)
        return;
    delete reportView;
    reportView =
        new ReportView(ReportPages(report), QStringLiteral("Veltrane Diagnostic report"), this);
    reportView->setAttribute(Qt::WA_DeleteOnClose);
    reportView->show();
}

void MainWindow::setTextView(QTextBrowser *view, const QString &text)
{
    resultsview::replaceText(*view, text);
    hiliteAndActivateURLs(view);
    resultsview::paintText(*view);
}

void MainWindow::hiliteAndActivateURLs(QTextBrowser *view)
{
    resultsview::markLinks(*view);
}
