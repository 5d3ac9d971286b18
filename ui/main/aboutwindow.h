#pragma once

#include <QWidget>

namespace Ui {
class AboutWindow;
}

// The version window: logo, product name with version, and the notice line.
class AboutWindow : public QWidget
{
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent);
    ~AboutWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Ui::AboutWindow* ui;
};
