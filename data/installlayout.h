#pragma once

#include <QString>

// Where the program's parts and its user's data are, judged from the files around the executable.
// Portable (the module beside the executable: the build folder or a copied folder): everything
// beside the executable, data/ included. Installed (the module under ../lib/velora-softphone):
// sounds under ../share/velora-softphone, data in the user's XDG data directory.
class InstallLayout
{
public:
    explicit InstallLayout(const QString& executable_dir);

    bool is_installed() const { return installed; }
    // For QLibrary: the path of the module `name`, given without the "lib" prefix and the suffix.
    QString module_path(const QString& name) const;
    QString sounds_dir() const;
    // The directory that holds the settings database and logs/.
    QString data_dir() const;

private:
    QString dir;
    bool installed = false;
};
