// Language files ("strings_<code>.txt"), read into the language table as at start-up, then
// looked up as shown texts are.
#include <QString>

#include "fuzz_target.h"
#include "settings/language_table.h"

NS_FUZZ_TARGET(language) {
    const QString path =
        QString::fromStdString(ns_fuzz::ScratchFile("strings_xx.txt", data, size));
    ClearLanguageTable();
    NS_FUZZ_CHECK(OpenLanguageFile(path));
    for (const char* text : {"OK", "Cancel", "Hint", "Error", "HDRInstructions:", "&File", ""}) {
        const QString shown = Translate(QString::fromLatin1(text));
        // A translation is one line of the file, and never empty.
        NS_FUZZ_CHECK(!shown.contains(u'\n') && !shown.contains(u'\r'));
        NS_FUZZ_CHECK(*text == 0 || !shown.isEmpty());
    }
    ClearLanguageTable();
}
