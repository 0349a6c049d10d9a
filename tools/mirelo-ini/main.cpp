// mirelo-ini: sets keys of Mirelo.ini in the program folder from KEY=VALUE pairs, keeping the others.
// The phone address, login and password go scrambled into "MireloKey" as the agent stores them.

#include <CLI/CLI.hpp>
#include <QFileInfo>
#include <iostream>
#include <string>
#include <vector>

#include "agent/config/program_folder.h"
#include "agent/config/settings_file.h"

namespace {

int Fail(const QString& message) {
    std::cerr << "mirelo-ini: " << message.toStdString() << '\n';
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "mirelo-ini: set keys of Mirelo.ini in the program folder (the executable's, or --home DIR).\n"
        "KEY is an INI key (POP3Server, CheckInterval, AddTo, POP3Security, SMTPUser, SMTPPasswd, CAFile,\n"
        "...) or MailAddr1 (the phone's address), SvLogin, SvPasswd; flags are TRUE or FALSE.\n"
        "A lone - reads KEY=VALUE lines from standard input, so no password need stand on the command line."};
    std::string home;
    std::vector<std::string> pairs;
    app.add_option("--home", home, "Program folder holding Mirelo.ini");
    app.add_option("pairs", pairs, "KEY=VALUE, or - for standard input")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    std::vector<std::string> lines;
    for (const std::string& pair : pairs) {
        if (pair != "-") {
            lines.push_back(pair);
            continue;
        }
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) lines.push_back(line);
        }
    }

    QStringList arguments{QString::fromLocal8Bit(argv[0])};
    if (!home.empty()) arguments << QStringLiteral("--home") << QString::fromStdString(home);
    const mirelo::ProgramFolder folder = mirelo::FindProgramFolder(arguments);
    if (!folder.error.isEmpty()) return Fail(folder.error);
    const QString path = mirelo::SettingsFilePath(folder.folder);

    mirelo::AgentSettings settings;
    const mirelo::LoadResult loaded = mirelo::LoadSettings(path, settings);
    if (!loaded.readError.isEmpty()) return Fail(path + QStringLiteral(": ") + loaded.readError);

    for (const std::string& line : lines) {
        const QString text = QString::fromStdString(line);
        const qsizetype equals = text.indexOf(u'=');
        if (equals <= 0) return Fail(QStringLiteral("not KEY=VALUE: \"%1\"").arg(text));
        const QString error = mirelo::SetSettingFromText(settings, text.left(equals), text.mid(equals + 1));
        if (!error.isEmpty()) return Fail(error);
    }
    if (const auto problem = mirelo::SettingsRoundTripProblem(settings)) return Fail(problem->message);

    const mirelo::SaveResult saved = mirelo::SaveSettings(path, settings, QStringLiteral("ALL"));
    if (!saved.ok) return Fail(path + QStringLiteral(": ") + saved.error);
    std::cout << "wrote " << path.toStdString() << '\n';
    return 0;
}
