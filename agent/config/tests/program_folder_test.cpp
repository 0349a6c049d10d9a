#include "agent/config/program_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace mirelo {
namespace {

TEST(ProgramFolder, DefaultsToTheExecutablesFolder) {
    const ProgramFolder found = FindProgramFolder({QStringLiteral("anything"), QStringLiteral("--wait")});
    EXPECT_TRUE(found.error.isEmpty());
    EXPECT_EQ(found.folder, QDir(QStringLiteral(TEST_BINARY_DIR)).canonicalPath());
}

TEST(ProgramFolder, HomeOption) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString clean = QDir::cleanPath(dir.path());
    const char* argv[] = {"mirelo", "--wait", "--home", nullptr};
    const QByteArray home = (dir.path() + QStringLiteral("/")).toLocal8Bit();
    argv[3] = home.constData();
    EXPECT_EQ(FindProgramFolder(4, argv).folder, clean) << "no trailing slash";
    EXPECT_EQ(FindProgramFolder({QStringLiteral("mirelo"), QStringLiteral("--home=") + dir.path()}).folder,
              clean);
}

TEST(ProgramFolder, RelativeHomeBecomesAbsolute) {
    const ProgramFolder found =
        FindProgramFolder({QStringLiteral("mirelo"), QStringLiteral("--home"), QStringLiteral(".")});
    EXPECT_EQ(found.folder, QDir::currentPath());
}

TEST(ProgramFolder, BadHomeIsAnError) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("file"));
    QFile(file).open(QIODevice::WriteOnly);
    struct Row {
        const char* name;
        QStringList arguments;
        QString error;
    } rows[] = {
        {"MissingFolder",
         {QStringLiteral("mirelo"), QStringLiteral("--home")},
         QStringLiteral("--home needs a folder")},
        {"NotThere",
         {QStringLiteral("mirelo"), QStringLiteral("--home"), dir.filePath(QStringLiteral("none"))},
         QStringLiteral("--home: not a folder: ") + dir.filePath(QStringLiteral("none"))},
        {"RegularFile",
         {QStringLiteral("mirelo"), QStringLiteral("--home=") + file},
         QStringLiteral("--home: not a folder: ") + file},
    };
    for (const Row& row : rows) {
        const ProgramFolder found = FindProgramFolder(row.arguments);
        EXPECT_TRUE(found.folder.isEmpty()) << row.name;
        EXPECT_EQ(found.error, row.error) << row.name;
    }
}

}  // namespace
}  // namespace mirelo
