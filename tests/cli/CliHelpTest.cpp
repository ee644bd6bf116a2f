// Every command answers --help (and "help COMMAND") with its own usage and
// exit status 0, whatever else is on its command line; --version names the
// version.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using dwtest::runCli;

TEST(CliHelp, EveryListedCommandAnswersHelp)
{
    const auto all = runCli({"help"});
    ASSERT_EQ(all.status, 0);
    // Command lines of the overview are indented by two blanks.
    QStringList commands;
    const QRegularExpression line(QStringLiteral("^  ([a-z][a-z-]*)\\b"), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(all.out); it.hasNext();)
        commands << it.next().captured(1);
    ASSERT_GE(commands.size(), 10) << all.out.toStdString();
    for (const QString& c : commands) {
        SCOPED_TRACE(c.toStdString());
        // A bad option before --help must not win over it.
        const auto r = runCli({c, "--no-such-option", "--help"});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith("usage: discwright-cli " + c + " ")) << r.out.toStdString();
        EXPECT_EQ(runCli({"help", c}).out, r.out);
    }
    // After "--" it is a file name, not a request for help.
    EXPECT_NE(runCli({"info", "--", "--help"}).status, 0);

    const auto v = runCli({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^discwright-cli \\d+\\.\\d+\\.\\d+\n$")).match(v.out).hasMatch())
        << v.out.toStdString();
}
