// The manual page and --help document the same options, so that neither
// drifts from the other.
#include "app/CommandLine.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace {

using Options = std::set<std::string>;

// The options of the remote backend. A build without that backend leaves them
// out of --help; the manual page documents them in any build, in a section of
// their own.
const Options kRemoteOptions = {"--remote",     "--remote-tls",  "--remote-ca",      "--remote-cert",
                                "--remote-key", "--remote-name", "--serve-simulator"};

// Option names that begin a word: "-h" and "--help" in "-h, --help", "--driver"
// in "--driver=NAME", but nothing in "70-vorlinq-ftdi.rules".
Options OptionNames(const QString& text)
{
    static const QRegularExpression name(QStringLiteral("(?:^|[\\s,\\[\"])(--?[A-Za-z0-9][A-Za-z0-9-]*)"));
    Options names;
    for (auto it = name.globalMatch(text); it.hasNext();) {
        names.insert(it.next().captured(1).toStdString());
    }
    return names;
}

// The options of --help: its option lines begin with a dash after the indent,
// and the names end at the gap before the description.
Options HelpOptions(const QString& usage)
{
    Options names;
    for (const QString& line : usage.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (line.startsWith(QLatin1Char(' ')) && trimmed.startsWith(QLatin1Char('-'))) {
            names.merge(OptionNames(trimmed.left(trimmed.indexOf(QLatin1String("  ")))));
        }
    }
    return names;
}

// The options of the manual page: those in the tag line of an item (the line
// after ".TP"), with roff's dashes and font changes undone. Options that are
// only mentioned in the running text do not count.
Options ManPageOptions(const QString& page)
{
    static const QRegularExpression fontChange(QStringLiteral("\\\\f[BIRP]"));
    Options names;
    const QStringList lines = page.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].trimmed() == QLatin1String(".TP")) {
            QString tag = lines[i + 1];
            tag.replace(QLatin1String("\\-"), QLatin1String("-")).remove(fontChange);
            names.merge(OptionNames(tag));
        }
    }
    return names;
}

TEST(ManPage, DocumentsExactlyTheOptionsOfHelp)
{
    QFile file(QStringLiteral(VORLINQ_MANPAGE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << VORLINQ_MANPAGE;
    const Options page = ManPageOptions(QString::fromUtf8(file.readAll()));
    const Options help = HelpOptions(app::UsageText());
    ASSERT_TRUE(help.count("--help") && help.count("-h") && help.count("--check-package")) << "--help not understood";

    // Where --help shows any remote option this build has the remote backend,
    // and the two lists must match exactly; without it the page has the
    // remote options besides those of --help.
    Options expected = help;
    const bool remoteBuilt =
        std::any_of(help.begin(), help.end(), [](const std::string& o) { return kRemoteOptions.count(o); });
    if (!remoteBuilt) {
        expected.insert(kRemoteOptions.begin(), kRemoteOptions.end());
    }
    EXPECT_EQ(page, expected);
}

} // namespace
