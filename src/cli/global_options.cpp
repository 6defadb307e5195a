#include "global_options.h"

namespace cli {

bool takeGlobalOption(const QString &argument, Invocation &invocation, QString *error) {
    static const QString kDemoWithFile = QStringLiteral("--demo=");
    if (argument == QLatin1String("--demo")) {
        invocation.demo = true;
    } else if (argument.startsWith(kDemoWithFile)) {
        invocation.demo = true;
        invocation.demoFile = argument.mid(kDemoWithFile.size());
        if (invocation.demoFile.isEmpty()) {
            *error = QStringLiteral("--demo= needs a file name");
        }
    } else if (argument == QLatin1String("--json")) {
        invocation.json = true;
    } else if (argument == QLatin1String("--trace")) {
        invocation.trace = true;
    } else if (argument == QLatin1String("--quiet")) {
        invocation.quiet = true;
    } else {
        return false;
    }
    return true;
}

QStringList optionsWithValue(const CommandInfo &info) {
    const QStringList words = textOf(info.synopsis).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const auto unbracketed = [](QString word) {
        while (word.startsWith(QLatin1Char('['))) {
            word.remove(0, 1);
        }
        return word;
    };
    QStringList options;
    for (qsizetype i = 0; i + 1 < words.size(); ++i) {
        const QString option = unbracketed(words[i]);
        // "[--hex]" closes its bracket; "--settings|--edid|--all --yes" is followed by an option.
        if (option.startsWith(QLatin1Char('-')) && !option.endsWith(QLatin1Char(']')) &&
            !unbracketed(words[i + 1]).startsWith(QLatin1Char('-'))) {
            options << option;
        }
    }
    return options;
}

QString takeGlobalOptions(const CommandInfo &info, QStringList &arguments, Invocation &invocation) {
    const QStringList withValue = optionsWithValue(info);
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--")) {
            kept << arguments.mid(i);
            break;
        }
        QString error;
        if (withValue.contains(argument)) {
            kept << argument;
            if (i + 1 < arguments.size()) {
                kept << arguments[++i];
            }
        } else if (takeGlobalOption(argument, invocation, &error)) {
            if (!error.isEmpty()) {
                return error;
            }
        } else {
            kept << argument;
        }
    }
    arguments = kept;
    return {};
}

} // namespace cli
