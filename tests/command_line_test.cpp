// The command line as users expect it of a Debian game: --help on standard
// output and exit 0, --version from the executable's own version table, an
// unknown option refused with the usage on standard error, and a manual page
// that renders without warnings.
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace varnok;

namespace {

struct Output {
    int code = -1;
    std::string out, err;
};

Output RunCommand(const test::TempDir& dir, const std::string& command) {
    const int status = std::system((command + " >" + (dir / "out") + " 2>" + (dir / "err")).c_str());
    Output o;
    o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = test::ReadFileBytes(dir / "out");
    o.err = test::ReadFileBytes(dir / "err");
    return o;
}

} // namespace

TEST(CommandLine, HelpVersionAndUnknownOptions) {
    test::TempDir dir;
    const std::string game = test::BinaryDir() + "/varnok";
    const Output help = RunCommand(dir, game + " --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind("usage: varnok", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("--export-level"), std::string::npos);
    EXPECT_EQ(help.err, "");

    const Output version = RunCommand(dir, game + " --version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "VARNOK (freeware version) 1.0.0.142\n");

    const Output unknown = RunCommand(dir, game + " --no-such-option");
    EXPECT_EQ(unknown.code, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("unknown option --no-such-option"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("usage: varnok"), std::string::npos);
}

TEST(CommandLine, ManualPageRendersWithoutWarnings) {
    test::TempDir dir;
    ASSERT_EQ(std::system("command -v groff >/dev/null"), 0) << "groff is needed to check the manual page";
    const Output page =
        RunCommand(dir, "LC_ALL=C.UTF-8 groff -ww -man -Tutf8 -P-cbou " + test::SourceDir() + "/docs/varnok.6");
    EXPECT_EQ(page.code, 0);
    EXPECT_EQ(page.err, "") << "groff warnings";
    EXPECT_NE(page.out.find("EXIT STATUS"), std::string::npos);
}
