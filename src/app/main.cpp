#include "app/MainForm.h"
#include "cli/CommandLine.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

namespace
{

// --help and --version are answered before the application object exists, so that they need no display.
// Qt's own options (-platform, -style, ...) are taken out by QApplication; whatever is left after that
// must be ours, and takes no arguments.
void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        "Rips the tracks of an audio CD to FLAC, MP3 or WAV files, with the titles from MusicBrainz, a CDDB\n"
        "disc database or the disc's CD-Text.\n"
        "Every extracted track is checked against the AccurateRip database, and the destination folder\n"
        "gets a log of the extraction, named after the disc's title (QUARLE.log without a lookup).\n"
        "\n"
        "Environment:\n"
        "  QUARLE_DRIVES  the drive letters, e.g. \"D=/dev/sr0;E=/home/me/album.cue\" (a device or a\n"
        "                 CUE/BIN or cdrdao TOC image each); by default the optical drives from D up.\n"
        "                 An entry may end in \"@\" and the drive's read offset in samples\n"
        "                 (\"D=/dev/sr0@+6\"); without it, the offset AccurateRip's drive list gives\n"
        "                 for the drive's model, else 0.\n"
        "  QUARLE_CA_FILE PEM certificates trusted for HTTPS besides the system's.\n"
        "\n"
        "Settings: ~/.config/quarle/quarle.ini, or quarle.ini beside the program while the user may\n"
        "write its folder (outside /usr). See quarle(1).\n"
        "\n"
        "Senza finestra:\n"
        "  quarle --estrai [--lettore D] [--formato flac|mp3|wav] [--cartella DIR] [--tracce 1,3-5]\n"
        "                  [--titoli] [--sostituisci]\n"
        "  estrae le tracce (tutte, o quelle di --tracce) come farebbe \"Estrai\", con le impostazioni di\n"
        "  quarle.ini; --titoli cerca prima i titoli; un file già presente non viene mai sostituito senza\n"
        "  --sostituisci. Una riga per traccia e il riepilogo su stdout; codice d'uscita 0 se tutte le\n"
        "  tracce sono complete, 1 altrimenti, 2 per argomenti errati o senza lettore. Ctrl-C interrompe.\n"
        "  quarle --verifica-registro FILE\n"
        "  verifica la firma del registro di un'estrazione: \"registro integro\" (0), \"registro\n"
        "  alterato\" (1) o \"registro senza firma\" (2); 2 anche per un file illeggibile.");
    parser.addOption({{"h", "help"}, "Prints this help and exits."});
    parser.addOption({{"v", "version"}, "Prints the version and exits."});
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName("quarle");
    QCoreApplication::setApplicationVersion(QUARLE_VERSION);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    {
        QCommandLineParser parser;
        describe(parser);
        parser.parse(arguments);
        if (parser.isSet("help")) {
            // Without an application object Qt does not know the program's name.
            const QString help = parser.helpText().replace("<executable_name>", "quarle");
            std::fputs(qPrintable(help), stdout);
            return 0;
        }
        if (parser.isSet("version")) {
            std::printf("QUARLE %s\n", QUARLE_VERSION);
            return 0;
        }
    }
    if (WantsCommandLine(arguments))
        return RunCommandLine(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName("QUARLE");
    QApplication::setApplicationDisplayName("QUARLE");
    QGuiApplication::setDesktopFileName("io.github.quarle.Quarle");
    QCommandLineParser parser;
    describe(parser);
    parser.process(app); // an unknown option: its message, and exit code 1
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "quarle: unexpected argument \"%s\"\n",
                     qPrintable(parser.positionalArguments()[0]));
        return 1;
    }
    // Qt's own texts (the buttons of the boxes, the folder browser) in the program's language; without
    // Debian's qt6-translations-l10n they stay English.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Italian, QLocale::Italy), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    std::unique_ptr<TDlgMainForm> form = TDlgMainForm::CreateMainForm();
    if (!form)
        return 1;
    form->show();
    form->activateWindow();
    return app.exec();
}
