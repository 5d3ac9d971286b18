#pragma once

#include <QWidget>

class ZimData;
class ZimLogger;

// The softphone's main window. For now it owns the logger and the store and logs the
// commands other programs send; the dial pad and call control come next.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    void handle_client_command(const QString& command);

    ZimLogger* logger() const { return zim_logger; }
    ZimData* data() const { return zim_data; }

private:
    ZimLogger* zim_logger = nullptr;
    ZimData* zim_data = nullptr;
};
