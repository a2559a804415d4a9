#include "app/program_options.h"

#include <gtest/gtest.h>

using namespace vellumet::app;

namespace {
ProgramOptions parse(std::initializer_list<const char*> args) {
    QStringList list;
    for (const char* a : args)
        list << QString::fromUtf8(a);
    return parseProgramOptions(list);
}
} // namespace

TEST(ProgramOptions, NoArgumentsMeansTheRealStation) {
    const ProgramOptions o = parse({});
    EXPECT_FALSE(o.simulate);
    EXPECT_TRUE(o.dataDir.isEmpty());
    EXPECT_TRUE(o.error.isEmpty());
}

TEST(ProgramOptions, SimulateWithAndWithoutProfile) {
    ProgramOptions o = parse({"--simulate"});
    EXPECT_TRUE(o.simulate);
    EXPECT_TRUE(o.profilePath.isEmpty());
    o = parse({"--simulate=/tmp/p.json", "--data-dir", "/x"});
    EXPECT_TRUE(o.simulate);
    EXPECT_EQ(o.profilePath, QStringLiteral("/tmp/p.json"));
    EXPECT_EQ(o.dataDir, QStringLiteral("/x"));
    EXPECT_FALSE(parse({"--simulate="}).error.isEmpty());
}

TEST(ProgramOptions, ValuesInBothForms) {
    ProgramOptions o = parse({"--data-dir=/d", "--trace", "t.log", "--device", "A1B2"});
    EXPECT_EQ(o.dataDir, QStringLiteral("/d"));
    EXPECT_EQ(o.tracePath, QStringLiteral("t.log"));
    EXPECT_EQ(o.device, QStringLiteral("A1B2"));
    EXPECT_TRUE(o.error.isEmpty());
}

TEST(ProgramOptions, MissingValueAndUnknownOptionAreErrors) {
    EXPECT_FALSE(parse({"--data-dir"}).error.isEmpty());
    EXPECT_FALSE(parse({"--trace="}).error.isEmpty());
    EXPECT_FALSE(parse({"--device="}).error.isEmpty());
    EXPECT_FALSE(parse({"--frobnicate"}).error.isEmpty());
}

TEST(ProgramOptions, HelpAndVersion) {
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"--version"}).version);
    const QString help = programHelpText(QStringLiteral("vellumet"));
    for (const char* option :
         {"--simulate", "--data-dir", "--trace", "--device", "--help", "--version"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
}
