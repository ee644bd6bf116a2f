// discwright-cli config: shows the settings as loaded (defaults and clamping
// applied), one setting, or changes one in options.ini. A change is checked
// against the setting's range and written alone, under the file's lock, so
// other keys (and changes other processes make at the same time) stay.

#include <QJsonObject>

#include "app/Settings.h"
#include "cli/CliCommon.h"
#include "cli/Commands.h"

namespace dw::cli {

namespace {

bool splitName(const QString& name, QString& section, QString& key)
{
    const int dot = name.indexOf('.');
    if (dot <= 0 || dot == name.size() - 1)
        return false;
    section = name.left(dot);
    key = name.mid(dot + 1);
    return true;
}

}  // namespace

int cmdConfig(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {}, {"json"}, args, error))
        return fail(error, 2);
    if (args.positional.size() > 1)
        return fail("usage: discwright-cli config [SECTION.KEY[=VALUE]] [--json]", 2);

    LoadSettings();

    if (args.positional.isEmpty()) {
        if (args.has("json")) {
            QJsonObject root;
            for (const SettingDescriptor& d : SettingDescriptors()) {
                QJsonObject sec = root.value(d.section).toObject();
                const QString v = SettingValue(AppSettings, d.section, d.key);
                if (d.type == SettingDescriptor::Text)
                    sec.insert(d.key, v);
                else if (d.type == SettingDescriptor::Boolean)
                    sec.insert(d.key, v == "1");
                else
                    sec.insert(d.key, v.toInt());
                root.insert(d.section, sec);
            }
            printJson(QJsonDocument(root));
        } else {
            for (const SettingDescriptor& d : SettingDescriptors())
                out(QString("%1.%2=%3").arg(d.section, d.key, SettingValue(AppSettings, d.section, d.key)));
        }
        return 0;
    }

    const QString arg = args.positional.front();
    const int eq = arg.indexOf('=');
    QString section, key;
    if (!splitName(eq < 0 ? arg : arg.left(eq), section, key))
        return fail(QString("'%1' is not SECTION.KEY (see discwright-cli config)").arg(arg), 2);
    bool known = false;
    const QString current = SettingValue(AppSettings, section, key, &known);
    if (!known)
        return fail(QString("unknown setting %1.%2").arg(section, key));

    if (eq < 0) {
        out(current);
        return 0;
    }
    QString problem;
    if (!StoreSetting(SettingsFilePath(), section, key, arg.mid(eq + 1), &problem))
        return fail(problem);
    return 0;
}

}  // namespace dw::cli
