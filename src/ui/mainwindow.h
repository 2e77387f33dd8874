#pragma once

#include <QWidget>

#include <memory>

class MainController;

namespace Ui {
class MainWindow;
}

// The main window, loaded from its Designer description. It hands every
// control to the controller under the control's own name and wires the
// buttons to the controller's actions; the controller does the rest.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(MainController &controller, QWidget *parent = nullptr);
    ~MainWindow() override;

private:
    void connectControls(MainController &controller);
    void connectActions(MainController &controller);

    std::unique_ptr<Ui::MainWindow> ui;
};
