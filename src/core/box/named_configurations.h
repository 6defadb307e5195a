#pragma once
// Named configurations: box configuration files kept by name in one folder,
// $XDG_DATA_HOME/veltrika/configurations/NAME.json, for both front ends.

#include <QString>
#include <QStringList>

// $XDG_DATA_HOME/veltrika/configurations, or ~/.local/share/veltrika/configurations when
// XDG_DATA_HOME is unset or not an absolute path.
QString defaultConfigurationsDirectory(const QString &xdgDataHome, const QString &home);
// The same from the process's environment.
QString configurationsDirectory();

// Why a name cannot name a configuration (empty, too long, a slash, a control character, a
// leading dot or dash), or empty when it can.
QString configurationNameError(const QString &name);
// DIRECTORY/NAME.json
QString namedConfigurationFile(const QString &directory, const QString &name);
// The names of the configurations in the folder, sorted; none when it does not exist.
QStringList namedConfigurations(const QString &directory);
