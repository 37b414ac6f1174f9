#include "app/app_settings.h"

#include <QDir>
#include <QSettings>

#include "app/stored_options.h"

namespace vantorra {

namespace {

const char* const kLastFolderKey = "files/lastFolder";
const char* const kOptionsGroup = "options";

}  // namespace

void saveLastFolder(QSettings& settings, const std::string& folder) {
    settings.setValue(kLastFolderKey, QString::fromStdString(folder));
    settings.sync();
}

std::string loadLastFolder(const QSettings& settings) {
    const QString folder = settings.value(kLastFolderKey).toString();
    return !folder.isEmpty() && QDir(folder).exists() ? folder.toStdString() : std::string();
}

void saveOptions(QSettings& settings, const StitchOptions& options) {
    for (const auto& [key, value] : storeOptions(options)) {
        settings.setValue(QString(kOptionsGroup) + "/" + QString::fromStdString(key), QString::fromStdString(value));
    }
    settings.sync();
}

bool loadOptions(const QSettings& settings, StitchOptions& options) {
    StoredValues stored;
    const QString prefix = QString(kOptionsGroup) + "/";
    for (const QString& key : settings.allKeys()) {
        if (key.startsWith(prefix)) stored[key.mid(prefix.size()).toStdString()] = settings.value(key).toString().toStdString();
    }
    return restoreOptions(stored, options);
}

}  // namespace vantorra
