// What a packager and a user get from the build: `cmake --install` under any
// prefix, the Debian package, the manual page and the shell completions.
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString buildDir = QStringLiteral(WRENLARK_BUILD_DIR);

struct Run
{
    int exitCode = -1;
    QString output; // standard output and error together
};

Run run(const QString &program, const QStringList &arguments, const QString &input = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return {-1, program + QStringLiteral(" did not start")};
    process.write(input.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(240000)) {
        process.kill();
        process.waitForFinished();
        return {-1, program + QStringLiteral(" did not finish")};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

QString wrenlark()
{
    return qEnvironmentVariable("WRENLARK_BINARY");
}

QStringList commandNames()
{
    // The overview lists each command on a line of its own, indented by two.
    const Run help = run(wrenlark(), {QStringLiteral("--help")});
    const QString commands =
        help.output.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
    QStringList names;
    for (const QString &line : commands.split(u'\n', Qt::SkipEmptyParts))
        names.append(line.trimmed().section(u' ', 0, 0));
    return names;
}

QStringList providerIDs()
{
    return {QStringLiteral("openai-pro-plus"),
            QStringLiteral("openai"),
            QStringLiteral("anthropic"),
            QStringLiteral("google"),
            QStringLiteral("xai"),
            QStringLiteral("openrouter"),
            QStringLiteral("local")};
}

bool haveProgram(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

} // namespace

class PackagingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void installsEverythingUnderAnyPrefix_data();
    void installsEverythingUnderAnyPrefix();
    void manualPageDescribesEveryCommand();
    void completionsOfferCommandsOptionsAndProviders();
    void debianPackageIsLintianCleanWithComputedDepends();
};

void PackagingTest::installsEverythingUnderAnyPrefix_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::newRow("/usr") << QStringLiteral("usr");
    QTest::newRow("/usr/local") << QStringLiteral("usr/local");
    QTest::newRow("~/.local") << QStringLiteral("home/user/.local");
}

void PackagingTest::installsEverythingUnderAnyPrefix()
{
    QFETCH(QString, prefix);
    QTemporaryDir root;
    const QString prefixPath = root.filePath(prefix);
    const Run install = run(QStringLiteral("cmake"), {QStringLiteral("--install"), buildDir,
                                                      QStringLiteral("--prefix"), prefixPath});
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));

    const QStringList expected{
        QStringLiteral("bin/wrenlark"),
        QStringLiteral("libexec/wrenlark/wrenlark-desktop"),
        QStringLiteral("libexec/wrenlark/wrenlark-commands.so"),
        QStringLiteral("libexec/wrenlark/wrenlark-keyring.so"),
        QStringLiteral("share/applications/com.wrenlark.Wrenlark.desktop"),
        QStringLiteral("share/dbus-1/services/com.wrenlark.Wrenlark.service"),
        QStringLiteral("share/icons/hicolor/scalable/apps/com.wrenlark.Wrenlark.svg"),
        QStringLiteral("share/metainfo/com.wrenlark.Wrenlark.metainfo.xml"),
        QStringLiteral("share/man/man1/wrenlark.1.gz"),
        QStringLiteral("share/bash-completion/completions/wrenlark"),
        QStringLiteral("share/zsh/vendor-completions/_wrenlark"),
        QStringLiteral("share/fish/vendor_completions.d/wrenlark.fish"),
        QStringLiteral("share/doc/wrenlark/copyright"),
    };
    for (const QString &file : expected)
        QVERIFY2(QFile::exists(prefixPath + u'/' + file), qPrintable(file));

    // Installed files name the prefix they were installed to, never the build.
    QDirIterator files(prefixPath, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        if (file.fileName().endsWith(QStringLiteral("/bin/wrenlark")) ||
            file.fileName().contains(QStringLiteral("/libexec/wrenlark/")))
            continue; // debug information names the sources
        QVERIFY2(!content.contains(buildDir.toUtf8()), qPrintable(file.fileName()));
    }
    const QString service = QString::fromUtf8([&] {
        QFile file(prefixPath +
                   QStringLiteral("/share/dbus-1/services/com.wrenlark.Wrenlark.service"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }());
    QVERIFY2(
        service.contains(QStringLiteral("Exec=") + prefixPath + QStringLiteral("/bin/wrenlark")),
        qPrintable(service));

    // The installed command finds its parts in libexec, wherever the prefix
    // is: `doctor` runs in one of them.
    const Run doctor =
        run(prefixPath + QStringLiteral("/bin/wrenlark"), {QStringLiteral("doctor")});
    QVERIFY2(doctor.output.contains(QStringLiteral("Display server: ")), qPrintable(doctor.output));

    if (haveProgram(QStringLiteral("desktop-file-validate"))) {
        const Run validate =
            run(QStringLiteral("desktop-file-validate"),
                {prefixPath + QStringLiteral("/share/applications/com.wrenlark.Wrenlark.desktop")});
        QVERIFY2(validate.exitCode == 0 && validate.output.trimmed().isEmpty(),
                 qPrintable(validate.output));
    }
    if (haveProgram(QStringLiteral("appstreamcli"))) {
        const Run validate = run(
            QStringLiteral("appstreamcli"),
            {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--explain"),
             prefixPath + QStringLiteral("/share/metainfo/com.wrenlark.Wrenlark.metainfo.xml")});
        for (const QString &line : validate.output.split(u'\n'))
            QVERIFY2(!line.startsWith(QStringLiteral("E:")) &&
                         !line.startsWith(QStringLiteral("W:")),
                     qPrintable(validate.output));
    }
}

void PackagingTest::manualPageDescribesEveryCommand()
{
    const Run page = run(wrenlark(), {QStringLiteral("--manual-page")});
    QCOMPARE(page.exitCode, 0);
    const QStringList commands = commandNames();
    QVERIFY2(commands.contains(QStringLiteral("ask")), qPrintable(commands.join(u',')));
    for (const QString &command : commands)
        QVERIFY2(page.output.contains(QStringLiteral(".TP\n\\fB%1\\fR").arg(command)),
                 qPrintable(command));
    for (const QString &heading : {QStringLiteral("FILES"), QStringLiteral("ENVIRONMENT"),
                                   QStringLiteral("EXIT STATUS"), QStringLiteral("EXAMPLES")})
        QVERIFY2(page.output.contains(QStringLiteral(".SH ") + heading), qPrintable(heading));

    // groff reads it without a single warning, and the options read as typed.
    const Run groff =
        run(QStringLiteral("groff"),
            {QStringLiteral("-man"), QStringLiteral("-ww"), QStringLiteral("-z")}, page.output);
    QVERIFY2(groff.exitCode == 0 && groff.output.isEmpty(), qPrintable(groff.output));
    const Run text = run(QStringLiteral("groff"),
                         {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-P-c")},
                         page.output);
    QVERIFY(text.output.contains(QStringLiteral("--from-selection")));
    QVERIFY(!text.output.contains(QStringLiteral("\\-")));
}

void PackagingTest::completionsOfferCommandsOptionsAndProviders()
{
    QTemporaryDir dir;
    const auto scriptFile = [&](const QString &shell) {
        const Run script = run(wrenlark(), {QStringLiteral("--completion"), shell});
        const QString path = dir.filePath(shell);
        QFile file(path);
        if (script.exitCode != 0 || !file.open(QIODevice::WriteOnly))
            return QString();
        file.write(script.output.toUtf8());
        return path;
    };
    QCOMPARE(run(wrenlark(), {QStringLiteral("--completion"), QStringLiteral("tcsh")}).exitCode, 2);

    // bash: complete as a user's Tab would, through the installed function.
    const QString bash = scriptFile(QStringLiteral("bash"));
    QVERIFY(!bash.isEmpty());
    const auto bashComplete = [&](const QString &line) {
        const QString probe =
            QStringLiteral(". '%1'; COMP_WORDS=(%2); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); "
                           "_wrenlark; printf '%s\\n' \"${COMPREPLY[@]}\"")
                .arg(bash, line);
        return run(QStringLiteral("bash"), {QStringLiteral("-c"), probe})
            .output.split(u'\n', Qt::SkipEmptyParts);
    };
    const QStringList commands = bashComplete(QStringLiteral("wrenlark ''"));
    for (const QString &command : commandNames())
        QVERIFY2(commands.contains(command), qPrintable(commands.join(u',')));
    QCOMPARE(bashComplete(QStringLiteral("wrenlark key set ''")), providerIDs());
    QCOMPARE(bashComplete(QStringLiteral("wrenlark key ''")),
             (QStringList{QStringLiteral("set"), QStringLiteral("delete")}));
    QCOMPARE(bashComplete(QStringLiteral("wrenlark ask --provider an")),
             QStringList{QStringLiteral("anthropic")});
    QVERIFY(bashComplete(QStringLiteral("wrenlark ask --from"))
                .contains(QStringLiteral("--from-selection")));
    QVERIFY(bashComplete(QStringLiteral("wrenlark ask fix")).isEmpty()); // free text

    if (haveProgram(QStringLiteral("zsh"))) {
        const Run check =
            run(QStringLiteral("zsh"), {QStringLiteral("-n"), scriptFile(QStringLiteral("zsh"))});
        QVERIFY2(check.exitCode == 0, qPrintable(check.output));
    }
    if (haveProgram(QStringLiteral("fish"))) {
        const QString fish = scriptFile(QStringLiteral("fish"));
        const auto fishComplete = [&](const QString &line) {
            const Run complete =
                run(QStringLiteral("fish"),
                    {QStringLiteral("--no-config"), QStringLiteral("-c"),
                     QStringLiteral("source '%1'; complete -C '%2'").arg(fish, line)});
            QStringList words;
            for (const QString &entry : complete.output.split(u'\n', Qt::SkipEmptyParts))
                words.append(entry.section(u'\t', 0, 0));
            return words;
        };
        const QStringList commandWords = fishComplete(QStringLiteral("wrenlark "));
        QVERIFY2(commandWords.contains(QStringLiteral("signin")),
                 qPrintable(commandWords.join(u',')));
        QStringList sortedIDs = providerIDs(); // fish lists them sorted
        sortedIDs.sort();
        QCOMPARE(fishComplete(QStringLiteral("wrenlark key set ")), sortedIDs);
        QVERIFY(fishComplete(QStringLiteral("wrenlark ask --provider="))
                    .contains(QStringLiteral("--provider=xai")));
    }
}

void PackagingTest::debianPackageIsLintianCleanWithComputedDepends()
{
    if (!haveProgram(QStringLiteral("cpack")) || !haveProgram(QStringLiteral("dpkg-shlibdeps")))
        QSKIP("cpack or dpkg-dev is not installed");
    QTemporaryDir out;
    const Run cpack =
        run(QStringLiteral("cpack"),
            {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
             buildDir + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), out.path()});
    QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
    const QStringList debs = QDir(out.path()).entryList({QStringLiteral("*.deb")});
    QCOMPARE(debs.size(), 1);
    const QString deb = out.filePath(debs.first());

    const Run fields = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb});
    QVERIFY2(fields.output.contains(QRegularExpression(QStringLiteral("Depends:.*libqt6core6"))),
             qPrintable(fields.output));
    QVERIFY2(
        fields.output.contains(QRegularExpression(QStringLiteral("Recommends:.*at-spi2-core"))),
        qPrintable(fields.output));
    const Run version = run(wrenlark(), {QStringLiteral("--version")});
    const QString packageVersion =
        QRegularExpression(QStringLiteral("Version: (\\S+)")).match(fields.output).captured(1);
    QVERIFY2(version.output.trimmed() == QStringLiteral("wrenlark ") + packageVersion,
             qPrintable(version.output + QStringLiteral(" / ") + packageVersion));

    const Run contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb});
    QVERIFY2(contents.output.contains(QStringLiteral("./usr/bin/wrenlark")),
             qPrintable(contents.output));
    QVERIFY2(!contents.output.contains(QStringLiteral("DEBIAN/postinst")),
             qPrintable(contents.output));

    if (!haveProgram(QStringLiteral("lintian")))
        QSKIP("lintian is not installed");
    const Run lintian =
        run(QStringLiteral("lintian"), {QStringLiteral("--fail-on"), QStringLiteral("error"), deb});
    QVERIFY2(lintian.exitCode == 0, qPrintable(lintian.output));
}

QTEST_GUILESS_MAIN(PackagingTest)
#include "test_packaging.moc"
