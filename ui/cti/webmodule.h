#pragma once

#include "ui/cti/sitepage.h"

#include <QString>

// Loads the web engine module when the first CTI page is needed: a day without CTI pays neither
// for the engine nor for the OpenGL libraries it pulls in. The module stays loaded from then on.
class WebModule
{
public:
    // The page, or nullptr with the reason in *error when the module cannot be loaded.
    static SitePage* create_page(QWidget* parent, SitePage::LoadFinished on_load_finished, SitePage::Log log,
                                 SitePage::CheckCertificate check, QString* error);
    // Tests run from folders of their own and name the build's module folder here.
    static void set_directory(const QString& dir);
};
