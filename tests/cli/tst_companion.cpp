// The companion's command line, its help, its new sounds and the real program's exit status.
#include "tst_companion.h"

void TestCompanion::init() {
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
    // The library goes into the test's own folder, as the program's would.
    qputenv("XDG_DATA_HOME", m_dir->filePath("data").toUtf8());
}

void TestCompanion::usage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList{} << "no command given";
    QTest::newRow("unknown command") << QStringList{"load", "a.bbk"} << "unknown command 'load'";
    QTest::newRow("unknown option")
        << QStringList{"check", "--all", "a.bbk"} << "unknown option '--all'";
    QTest::newRow("option of another command")
        << QStringList{"check", "--patch", "3", "a.bbk"} << "check takes no option --patch";
    QTest::newRow("option before the command")
        << QStringList{"--patch", "3", "syx"} << "the command comes before its options";
    QTest::newRow("check without files") << QStringList{"check"} << "check needs at least one file";
    QTest::newRow("syx without -o")
        << QStringList{"syx", "a.bbk"} << "syx needs -o OUT.syx (or -o - for the standard output)";
    QTest::newRow("syx with two files")
        << QStringList{"syx", "a.bbk", "b.bbk", "-o", "x.syx"} << "syx takes one file";
    QTest::newRow("send without file") << QStringList{"send"} << "send takes one file";
    QTest::newRow("ports with a file") << QStringList{"ports", "a.bbk"} << "ports takes no file";
    QTest::newRow("patch 0") << QStringList{"syx", "a.bbk", "--patch", "0", "-o", "x"}
                             << "--patch takes a patch number 1..74, not '0'";
    QTest::newRow("patch 75") << QStringList{"syx", "a.bbk", "--patch=75", "-o", "x"}
                              << "--patch takes a patch number 1..74, not '75'";
    QTest::newRow("patch -1") << QStringList{"send", "a.bbk", "--patch", "-1"}
                              << "--patch takes a patch number 1..74, not '-1'";
    QTest::newRow("patch 3.0") << QStringList{"send", "a.bbk", "--patch", "3.0"}
                               << "--patch takes a patch number 1..74, not '3.0'";
    QTest::newRow("channel 0") << QStringList{"send", "a.bbk", "--channel", "0"}
                               << "--channel takes a MIDI channel 1..16, not '0'";
    QTest::newRow("channel 17") << QStringList{"send", "a.bbk", "--channel=17"}
                                << "--channel takes a MIDI channel 1..16, not '17'";
    QTest::newRow("channel 65553") << QStringList{"send", "a.bbk", "--channel", "65553"}
                                   << "--channel takes a MIDI channel 1..16, not '65553'";
    QTest::newRow("pause 2001") << QStringList{"send", "a.bbk", "--pause", "2001"}
                                << "--pause takes milliseconds 0..2000, not '2001'";
    QTest::newRow("pause -1") << QStringList{"send", "a.bbk", "--pause=-1"}
                              << "--pause takes milliseconds 0..2000, not '-1'";
    QTest::newRow("pause on syx") << QStringList{"syx", "a.bbk", "--pause", "40", "-o", "x"}
                                  << "syx takes no option --pause";
    QTest::newRow("value missing")
        << QStringList{"send", "a.bbk", "--port"} << "option --port needs a value";
    QTest::newRow("value on a switch")
        << QStringList{"send", "a.bbk", "--bit99=yes"} << "option --bit99 takes no value";
    QTest::newRow("unknown system") << QStringList{"ports", "--midi", "coreaudio"}
                                    << "--midi takes alsa or jack, not 'coreaudio'";
    QTest::newRow("import without -o")
        << QStringList{"import", "a.syx"} << "import needs -o OUT.bbk";
    QTest::newRow("import of two files")
        << QStringList{"import", "a.syx", "b.mid", "-o", "x.bbk"} << "import takes one file";
    QTest::newRow("both lists only") << QStringList{"ports", "--outputs", "--inputs"}
                                     << "--outputs and --inputs exclude each other";
    QTest::newRow("mutate without a seed")
        << QStringList{"mutate", "a.b01", "--amount", "10", "-o", "x.b01"} << "mutate needs --seed N";
    QTest::newRow("mutate by 101 %") << QStringList{"mutate", "a.b01", "--amount", "101"}
                                     << "--amount takes a percentage 0..100, not '101'";
    QTest::newRow("seed past 64 bits") << QStringList{"randomize", "--seed", "18446744073709551616"}
                                       << "--seed takes a whole number 0..18446744073709551615, "
                                          "not '18446744073709551616'";
    QTest::newRow("lock 64") << QStringList{"randomize", "--lock", "8,64"}
                             << "--lock takes parameter numbers 1..63, comma-separated, not '8,64'";
    QTest::newRow("morph of one file")
        << QStringList{"morph", "a.b01", "--at", "5", "-o", "x.b01"} << "morph takes two patch files, A and B";
    QTest::newRow("morph without -o")
        << QStringList{"morph", "a.b01", "b.b01", "--at", "5"} << "morph needs -o OUT.b01";
    QTest::newRow("library alone") << QStringList{"library"} << "library needs add, list or bank";
    QTest::newRow("library add without folder")
        << QStringList{"library", "add"} << "library add needs at least one folder";
    QTest::newRow("library add with a filter") << QStringList{"library", "add", "x", "--favourites"}
                                               << "library add takes folders only";
    QTest::newRow("library list with a file")
        << QStringList{"library", "list", "x"} << "library list takes no folder or file";
    QTest::newRow("library bank without -o")
        << QStringList{"library", "bank", "--search", "pad"} << "library bank needs -o OUT.bbk";
    QTest::newRow("library of another kind")
        << QStringList{"library", "remove"} << "unknown library command 'remove' (add, list or bank)";
    QTest::newRow("search on check")
        << QStringList{"check", "--search", "x", "a.bbk"} << "check takes no option --search";
}

void TestCompanion::usage() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    Run run;
    QCOMPARE(run(args), 2);
    QCOMPARE(run.errors(), "quenlor-sysex: " + message + "\nTry 'quenlor-sysex --help'.\n");
    QCOMPARE(run.output(), QString());
    QVERIFY(run.systemsAsked.isEmpty());
}

void TestCompanion::newSounds_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("name");     // the patch name OUT.b01 keeps
    QTest::addColumn<QByteArray>("equals"); // the file OUT must equal, when fixed
    QTest::addColumn<QString>("errors");     // said on the standard error; %1 is c.b01's path
    const QByteArray a = record("Alpha", {{19, 40}, {28, 1}, {53, 1}});
    const QByteArray b = record("Beta", {{19, 20}, {20, 63}, {26, 1}, {24, 0}});
    QTest::newRow("mutate") << QStringList{"mutate", "a.b01", "--amount", "25", "--seed", "7"}
                            << "Alpha" << QByteArray() << QString();
    QTest::newRow("mutate locked") << QStringList{"mutate", "a.b01", "--amount", "100", "--lock",
                                                  "1,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,"
                                                  "21,22,23,24,28,29,30,31,32,33,34,35,39,40,41,"
                                                  "42,43,44,45,46,47,48,49,50,51,52,53,56,57,58,"
                                                  "59,60,61,62,63", "--seed", "7"}
                                   << "Alpha" << a << QString();
    QTest::newRow("randomize a new patch") << QStringList{"randomize", "--seed", "1"} << ""
                                           << QByteArray() << QString();
    QTest::newRow("randomize") << QStringList{"randomize", "b.b01", "--lock", "20", "--seed", "2"}
                               << "Beta" << QByteArray() << QString();
    QTest::newRow("morph at 0") << QStringList{"morph", "a.b01", "b.b01", "--at", "0"} << "Alpha" << a << QString();
    QTest::newRow("morph at 100, locked")
        << QStringList{"morph", "a.b01", "b.b01", "--at=100", "--lock", "28"} << "Alpha"
        << record("Alpha", {{19, 20}, {20, 63}, {26, 1}, {24, 0}, {28, 1}}) << QString();
    QTest::newRow("morph at 25") << QStringList{"morph", "a.b01", "b.b01", "--at", "25"} << "Alpha"
                                 << record("Alpha", {{19, 35}, {20, 16}, {28, 1}, {53, 1}})
                                 << QString();
    // A locked value no editor writes comes out as the instrument plays it, and is named.
    const QString repairs =
        "quenlor-sysex: %1: record 1, line 22 (parameter 19): value 99 outside 0..63; locked, "
        "written as 63\nquenlor-sysex: %1: record 1, line 38 (parameter 35): choice 35..38 has "
        "no member set; it needs one; locked, written with 35 set\n";
    QTest::newRow("mutate, locked values out of range")
        << QStringList{"mutate", "c.b01", "--amount", "10", "--lock", "19,35", "--seed", "3"}
        << "Gamma" << QByteArray() << repairs;
    QTest::newRow("morph, locked values out of range")
        << QStringList{"morph", "c.b01", "b.b01", "--at", "60", "--lock", "19,35"} << "Gamma"
        << QByteArray() << repairs;
}

// The same seed gives the same file, a patch the check finds nothing to say about, with
// the name of the first file.
void TestCompanion::newSounds() {
    QFETCH(QStringList, args);
    QFETCH(QString, name);
    QFETCH(QByteArray, equals);
    QFETCH(QString, errors);
    made("a.b01", record("Alpha", {{19, 40}, {28, 1}, {53, 1}}));
    made("b.b01", record("Beta", {{19, 20}, {20, 63}, {26, 1}, {24, 0}}));
    made("c.b01", record("Gamma", {{19, 99}, {35, 0}}));
    for (QString& arg : args)
        if (arg.endsWith(".b01")) arg = path(arg);
    QByteArray first;
    for (const QString& out : {path("one.b01"), path("two.b01")}) {
        Run run;
        QCOMPARE(run(args + QStringList{"-o", out}), 0);
        QCOMPARE(run.errors(), errors.isEmpty() ? errors : errors.arg(path("c.b01")));
        Run check;
        QCOMPARE(check({"check", out}), 0);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.startsWith("Name\r\n" + name.toLatin1() + "\r\nData\r\n"));
        if (!equals.isEmpty()) QCOMPARE(written, equals);
        if (!first.isEmpty()) QCOMPARE(written, first);
        first = written;
    }
}

void TestCompanion::help_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("--help") << QStringList{"--help"}
                            << "Usage: quenlor-sysex COMMAND [OPTION]... [FILE]...";
    QTest::newRow("-h") << QStringList{"-h"}
                        << "Usage: quenlor-sysex COMMAND [OPTION]... [FILE]...";
    QTest::newRow("check") << QStringList{"check", "--help"}
                           << "Usage: quenlor-sysex check FILE...";
    QTest::newRow("syx")
        << QStringList{"syx", "-h"}
        << "Usage: quenlor-sysex syx FILE [--patch N] [--channel C] [--bit99] -o OUT.syx";
    QTest::newRow("send")
        << QStringList{"send", "--help"}
        << "Usage: quenlor-sysex send FILE [--patch N] [--channel C] [--bit99] [--port NAME]";
    QTest::newRow("ports")
        << QStringList{"ports", "--help"}
        << "Usage: quenlor-sysex ports [--outputs | --inputs] [--midi alsa|jack]";
    QTest::newRow("import") << QStringList{"import", "--help"}
                            << "Usage: quenlor-sysex import IN.syx|IN.mid -o OUT.bbk";
    QTest::newRow("mutate") << QStringList{"mutate", "--help"}
                            << "Usage: quenlor-sysex mutate IN.b01 --amount PCT [--lock LIST] "
                               "--seed N -o OUT.b01";
    QTest::newRow("version") << QStringList{"--version"} << "quenlor-sysex 1.2.1";
}

void TestCompanion::help() {
    QFETCH(QStringList, args);
    QFETCH(QString, firstLine);
    Run run;
    QCOMPARE(run(args), 0);
    QCOMPARE(run.output().section('\n', 0, 0), firstLine);
    QCOMPARE(run.errors(), QString());
}

void TestCompanion::overviewShowsEachCommandsForms_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("forms");
    QTest::newRow("check") << "check" << QStringList{"check FILE..."};
    QTest::newRow("syx") << "syx" << QStringList{"syx FILE -o OUT.syx"};
    QTest::newRow("import") << "import" << QStringList{"import IN.syx|IN.mid -o OUT.bbk"};
    QTest::newRow("send, usage of two lines") << "send" << QStringList{"send FILE"};
    QTest::newRow("ports") << "ports" << QStringList{"ports"};
    QTest::newRow("mutate") << "mutate"
                            << QStringList{"mutate IN.b01 --amount PCT --seed N -o OUT.b01"};
    QTest::newRow("randomize, an operand in brackets")
        << "randomize" << QStringList{"randomize [IN.b01] --seed N -o OUT.b01"};
    QTest::newRow("morph") << "morph" << QStringList{"morph A.b01 B.b01 --at PCT -o OUT.b01"};
    QTest::newRow("library, three forms")
        << "library"
        << QStringList{"library add DIR...", "library list [FILTER]...",
                       "library bank [FILTER]... -o OUT.bbk"};
}

// The overview names each command in the forms its own usage gives, with what is needed
// and without the options in brackets; each form is an item of its own, its text beside
// it or, for a long one, on the next line.
void TestCompanion::overviewShowsEachCommandsForms() {
    QFETCH(QString, command);
    QFETCH(QStringList, forms);
    Run overview;
    QCOMPARE(overview({"--help"}), 0);
    for (const QString& form : forms)
        QVERIFY2(overview.output().contains(
                     QRegularExpression("\n  " + QRegularExpression::escape(form) +
                                        "(  +[a-z]|\n {26}[a-zI])")),
                 qPrintable(form));
    Run own;
    QCOMPARE(own({command, "--help"}), 0);
    QStringList usage = own.output().section(QRegularExpression("\n(?! )"), 0, 0).split('\n');
    for (QString& line : usage)
        line.remove(QRegularExpression("^(Usage:)? +quenlor-sysex |^ +"));
    QString shown = usage.join('\n').remove(QRegularExpression(" *\\[-[^]]*\\]\n?"));
    QCOMPARE(shown.trimmed().split('\n'), forms);
}

void TestCompanion::realProgramExitStatus_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("good") << QStringList{"check", "good.bbk"} << 0
                          << QByteArray("good.bbk: loads (74 patches)\n") << QByteArray();
    QTest::newRow("truncated")
        << QStringList{"check", "short.bbk"} << 1 << QByteArray("short.bbk: does not load\n")
        << QByteArray("short.bbk: record 3, line 1: the file ends before this line\n");
    QTest::newRow("usage")
        << QStringList{"chek", "good.bbk"} << 2 << QByteArray()
        << QByteArray("quenlor-sysex: unknown command 'chek'\nTry 'quenlor-sysex --help'.\n");
    QTest::newRow("help") << QStringList{"--help"} << 0
                          << QByteArray("Usage: quenlor-sysex COMMAND") << QByteArray();
}

void TestCompanion::realProgramExitStatus() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    made("good.bbk", bank());
    made("short.bbk", bank().left(2 * 266));
    QProcess program;
    program.setWorkingDirectory(m_dir->path());
    program.start(QStringLiteral(QUENLOR_SYSEX_PROGRAM), args);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    const QByteArray stdoutText = program.readAllStandardOutput();
    QVERIFY2(out.endsWith('\n') ? stdoutText == out : stdoutText.startsWith(out),
             stdoutText.constData());
    QCOMPARE(program.readAllStandardError(), err);
}


QTEST_GUILESS_MAIN(TestCompanion)
