#include "EndToEndFixture.h"

class EndToEndStart : public EndToEnd
{
};

// No drive at all: the error box comes up in place of the window, Return dismisses it and the program
// ends with a failure code, having said why on stderr too.
TEST_F(EndToEndStart, WithoutADriveTheErrorBoxShowsAndTheProgramEnds)
{
    auto run = std::make_unique<QuarleRun>(Display(), ProgramFolder());
    QString error;
    ASSERT_TRUE(run->Start("", &error)) << error.toStdString();
    const QString box = run->WaitForWindow("^QUARLE$", LongWaitMs);
    ASSERT_FALSE(box.isEmpty()) << "no error box; errors:\n" << run->ErrorOutput().toStdString();
    EXPECT_FALSE(run->HasWindow(MainWindowName)) << "the main window shows behind the error box";

    ASSERT_TRUE(run->PressKey(box, "Return"));
    ASSERT_TRUE(run->WaitForExit(LongWaitMs)) << "the program still runs after its error box was closed";
    EXPECT_EQ(run->ExitCode(), 1) << run->ErrorOutput().toStdString();
    EXPECT_TRUE(run->ErrorOutput().contains(
        "quarle: Attenzione!   Nessun lettore trovato o utente con diritti minimi.\n"))
        << run->ErrorOutput().toStdString();
}
