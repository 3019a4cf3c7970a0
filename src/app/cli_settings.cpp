// Settings sub-commands: translate.

#include <QCoreApplication>
#include <QString>
#include <cstdio>

#include "app/cli.h"
#include "settings/language_table.h"

int CliTranslate(const CliArgs& args) {
    static const char kSynopsis[] = "translate --lang CODE TEXT";
    std::string code, text;
    bool haveCode = false, haveText = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--lang" && !haveCode && i + 1 < args.size()) {
            code = args[++i];
            haveCode = true;
        } else if (!haveText) {
            text = args[i];
            haveText = true;
        } else {
            return CliUsage(kSynopsis);
        }
    }
    if (!haveCode || !haveText) return CliUsage(kSynopsis);
    if (code.empty() || code.find('/') != std::string::npos)
        return CliFail("bad language code " + CliQuoted(code));
    // The language files lie beside the program, as for the application.
    const QString folder = QCoreApplication::applicationDirPath() + u'/';
    LoadLanguage(QString::fromStdString(code), folder);
    const QByteArray out = Translate(QString::fromStdString(text)).toUtf8();
    std::printf("%s\n", out.constData());
    return 0;
}
