#include "mainwindow.h"

#include "maincontroller.h"
#include "ui_mainwindow.h"

MainWindow::MainWindow(MainController &controller, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    connectControls(controller);
    connectActions(controller);
    controller.awakeFromNib();
}

MainWindow::~MainWindow() = default;

void MainWindow::connectControls(MainController &controller)
{
    controller.buttonStartTests = ui->buttonStartTests;
    controller.textVeltraneAccount = ui->textVeltraneAccount;
    controller.textTicketNo = ui->textTicketNo;
    controller.textDomainToTest = ui->textDomainToTest;
    controller.progressIndicator = ui->progressIndicator;
    controller.textStatus = ui->textStatus;
    controller.textCopyPaste = ui->textCopyPaste;
    controller.textResultsLinkView = ui->textResultsLinkView;
    controller.textResultsLink = ui->textResultsLink;
    controller.window = this;
    controller.copyToClipBoardLink = ui->copyToClipBoardLink;
    controller.shareButton = ui->shareButton;
}

void MainWindow::connectActions(MainController &controller)
{
    connect(ui->buttonStartTests, &QPushButton::clicked, &controller, &MainController::runTests);
    connect(ui->copyToClipBoardLink, &QPushButton::clicked, &controller,
            &MainController::copyToClipBoardLinkButtonPressed);
    connect(ui->shareButton, &QPushButton::clicked, &controller,
            &MainController::shareButtonPressed);

    // Enter in any field starts a run, as the start button would; a click on
    // a disabled button does nothing, so no second run can start.
    for (QLineEdit *field : {ui->textVeltraneAccount, ui->textTicketNo, ui->textDomainToTest}) {
        connect(field, &QLineEdit::returnPressed, ui->buttonStartTests, &QPushButton::click);
    }
}
