#include "net/commandline.h"

#include <algorithm>

#include "net/runtimetext.h"

namespace kestrel {

namespace {

// Finds the parameters after the first separator whose split is acceptable (step 3 of the
// command-line reduction); program and parameters stay as they are when none is.
void SplitAtSeparator(const QString& command, QString& program, QString& parameters) {
    const bool commandHasExtension = !FileExtension(command).isEmpty();
    for (const QStringView separator : {u" -", u" /", u" \\", u",", u" %"}) {
        const qsizetype p = command.indexOf(separator);
        if (p < 0)
            continue;
        const QString before = command.left(p);
        if (FileExtension(before).isEmpty() && commandHasExtension)
            continue;
        program = before;
        parameters = separator == u"," ? command.mid(p + 1) : command.mid(p);
        if (!parameters.isEmpty())
            return;
    }
}

void RemoveFirstQuotes(QString& text, int count) {
    for (int i = 0; i < count; ++i) {
        const qsizetype q = text.indexOf(u'"');
        if (q < 0)
            return;
        text.remove(q, 1);
    }
}

}  // namespace

void SplitCommandLine(const QString& command, QString& program, QString& parameters) {
    QString text = command.trimmed();
    program = QString();
    parameters = QString();
    if (text.isEmpty())
        return;

    const qsizetype first = text.indexOf(u'"');
    if (first >= 0)
        text.remove(first, 1);
    const qsizetype second = first >= 0 ? text.indexOf(u'"') : -1;
    if (second >= 0)
        text.remove(second, 1);

    if (second >= 0) {
        if (first == 0) {
            program = text.left(second);
            parameters = text.mid(second + 1).trimmed();
            RemoveFirstQuotes(parameters, 2);
        } else {
            parameters = text.mid(first);
            program = text.left(std::max<qsizetype>(0, first - 1));
        }
    } else {
        program = text;
        SplitAtSeparator(text, program, parameters);
        if (FileExtension(program).toUpper() == u".DLL" && program.toUpper().contains(u"RUNDLL")) {
            const qsizetype nameStart = LastDelimiter(text) + 1;
            const QString name = text.mid(nameStart);
            const qsizetype space = name.indexOf(u' ');
            program = text.left(nameStart) + (space < 0 ? name : name.left(space));
            parameters = space < 0 ? QString() : name.mid(space + 1);
        }
    }
    program = program.trimmed();
    parameters = parameters.trimmed();
}

}  // namespace kestrel
