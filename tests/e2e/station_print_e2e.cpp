// The real station printing through a real print system: a private cupsd whose default
// queue keeps every job's document as a PDF. F4 opens the report window, which names that
// printer; the operator fills in the vehicle and presses PRINT twice; both examinations are
// logged and both pages reach the queue with all their texts.
#include "PrintServer.h"
#include "StationFixture.h"

#include <QRegularExpression>
#include <QThread>
#include <memory>

using namespace e2e;

namespace {

const QString kStationLine = QStringLiteral("ГТП Тест ООД, Пловдив");
const QString kOperator = QStringLiteral("Георги Димитров"); // the first of the sorted operators

QString findTool(const QString& name) {
    for (const QString& dir : {QStringLiteral("/usr/bin"), QStringLiteral("/bin")}) {
        if (QFile::exists(dir + u'/' + name))
            return dir + u'/' + name;
    }
    return {};
}

// The fields of one 160-byte examination record, as the page must show them.
struct Logged {
    QString date, time, owner, makeModel, year, regNumber, co, co2, hc, o2, rpm, oilTemp;
};

Logged parseRecord(const QByteArray& record) {
    const QString text = QString::fromLatin1(record);
    Logged r;
    r.date = text.mid(0, 14).trimmed();
    r.time = text.mid(14, 9).trimmed();
    r.owner = text.mid(23, 25).trimmed();
    r.makeModel = text.mid(48, 26).trimmed();
    r.year = text.mid(74, 4).trimmed();
    r.regNumber = text.mid(80, 11).trimmed();
    auto value = [&](const QString& pattern) {
        return QRegularExpression(pattern).match(text, 91).captured(1);
    };
    r.co = value(QStringLiteral("/CO (.{0,5})%"));
    r.co2 = value(QStringLiteral("/CO2 (.{0,5})%"));
    r.hc = value(QStringLiteral("/HC (.{0,5})ppm"));
    r.o2 = value(QStringLiteral("/O2 (.{0,5})%"));
    r.rpm = value(QStringLiteral("/ (.{0,5})RPM"));
    r.oilTemp = value(QStringLiteral("/ (.{0,5})`C"));
    return r;
}

class Printing : public Station {
protected:
    void SetUp() override {
        Station::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QString missing = PrintServer::missingPrograms();
        if (!missing.isEmpty())
            GTEST_SKIP() << "no print system to print through (not installed: " << missing.toStdString()
                         << "; packages cups-daemon and cups-client)";
        if (findTool("pdftotext").isEmpty() || findTool("pdfinfo").isEmpty())
            GTEST_SKIP() << "pdftotext/pdfinfo are not installed (package poppler-utils)";
        cups = std::make_unique<PrintServer>();
        ASSERT_TRUE(cups->ok()) << cups->error().toStdString();
        extraEnv.insert("CUPS_SERVER", cups->socketPath());
        // The queue is chosen as the server's default, not by the caller's own settings.
        removedEnv << "LPDEST"
                   << "PRINTER";
    }

    void TearDown() override {
        Station::TearDown();
        cups.reset();
    }

    // Replaces the text of the focused box by `text`.
    void replaceText(const QString& window, const QString& text) {
        typeKeys(x.display(), window, {"ctrl+a"});
        run(x.display(), "xdotool", {"type", "--clearmodifiers", "--delay", "30", text});
    }

    QString pdfText(const QString& path, bool layout) {
        QStringList args;
        if (layout)
            args << "-layout";
        args << "-enc"
             << "UTF-8" << path << "-";
        return QString::fromUtf8(run(x.display(), findTool("pdftotext"), args, 20000));
    }

    int pdfPages(const QString& path) {
        const QString info = QString::fromUtf8(run(x.display(), findTool("pdfinfo"), {path}, 20000));
        return QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info).captured(1).toInt();
    }

    // Checks one printed page against its examination number and log record.
    void expectPage(const QString& path, int number, const Logged& r) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(pdfPages(path), 1);
        const QString layout = pdfText(path, true);
        const QString flat = layout.simplified();
        const QString percent = QStringLiteral(" %");
        const QStringList texts{
            QStringLiteral("ДИАГНОСТИЧЕН  ЛИСТ"),
            kStationLine,
            QStringLiteral("Преглед №"),
            QString::number(number),
            QStringLiteral("Автомобил"),
            r.makeModel,
            QStringLiteral("Година на производство"),
            r.year,
            QStringLiteral("Регистрационен №"),
            r.regNumber,
            QStringLiteral("Собственик"),
            r.owner,
            QStringLiteral("ГАЗОВЕ"),
            QStringLiteral("CO"),
            r.co + percent,
            QStringLiteral("CO"),
            r.co2 + percent,
            QStringLiteral("2"),
            QStringLiteral("HC"),
            r.hc + QStringLiteral(" ppm"),
            QStringLiteral("O"),
            r.o2 + percent,
            QStringLiteral("2"),
            QStringLiteral("Lambda Factor"),
            QString(), // the lambda factor is not in the log; checked on its line below
            QStringLiteral("Температура двигател"),
            r.oilTemp + QStringLiteral("°C"),
            QStringLiteral("Обороти / мин."),
            r.rpm,
            QStringLiteral("Дата: ") + r.date,
            QStringLiteral("Час: ") + r.time,
            QStringLiteral("Извършил прегледа:     /") + kOperator + u'/',
        };
        ASSERT_EQ(texts.size(), 32);
        for (qsizetype i = 0; i < texts.size(); ++i) {
            if (texts[i].isEmpty())
                continue;
            EXPECT_TRUE(flat.contains(texts[i].simplified()))
                << "text " << i + 1 << " \"" << texts[i].toStdString() << "\" is not on the page:\n"
                << layout.toStdString();
        }
        // Each reading on the line its caption begins, the number right after its label.
        auto line = [&](const QString& caption) {
            for (const QString& l : layout.split(u'\n')) {
                if (l.simplified().startsWith(caption))
                    return l.simplified();
            }
            return QString();
        };
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^Преглед № %1$").arg(number))
                        .match(line(QStringLiteral("Преглед №")))
                        .hasMatch())
            << line(QStringLiteral("Преглед №")).toStdString();
        const QString lambdaLine = line(QStringLiteral("Lambda Factor"));
        EXPECT_GT(lambdaLine.size(), QStringLiteral("Lambda Factor").size() + 1)
            << "no lambda factor: " << lambdaLine.toStdString();
        // The small index "2" stands right after "CO" and "O", so the lines read CO2 and O2.
        EXPECT_EQ(line(QStringLiteral("CO2")), QStringLiteral("CO2 ") + r.co2.trimmed() + percent);
        EXPECT_EQ(line(QStringLiteral("O2")), QStringLiteral("O2 ") + r.o2.trimmed() + percent);
        EXPECT_EQ(line(QStringLiteral("Обороти / мин.")),
                  QStringLiteral("Обороти / мин. ") + r.rpm.trimmed());
        EXPECT_EQ(line(QStringLiteral("Собственик")), QStringLiteral("Собственик ") + r.owner);
    }

    void checkTheLogTool(const QByteArray& log);

    std::unique_ptr<PrintServer> cups;
};

TEST_F(Printing, printTwiceSendsTwoPagesToTheDefaultPrinterAndLogsTwoExaminations) {
    copyDemoFile();
    ASSERT_TRUE(QFile::copy(binDir() + "/../data/CarModel.DB", dir.filePath("CarModel.DB")));
    writeFile("SERVICE.ini", (kStationLine + QStringLiteral("\r\nИван Петров\r\n") + kOperator +
                              QStringLiteral("\r\nМария Иванова\r\nПетър Николов\r\n0\r\n"))
                                 .toUtf8());
    startStation();
    answerStartupBox("DEMO FILE LOADED");
    const QString win = mainWindow();
    ASSERT_FALSE(win.isEmpty());
    QThread::msleep(1500); // the demo file replays readings into the labels

    typeKeys(x.display(), win, {"F4"});
    const QString report = findWindow(x.display(), "Not Found Printer|Official Test to");
    ASSERT_FALSE(report.isEmpty()) << "F4 did not open the report window";
    EXPECT_EQ(windowName(x.display(), report).toStdString(),
              "Official Test to " + cups->queueName().toStdString());

    // The make and model box has the focus; Tab goes on to the registration number, the
    // year and the owner.
    replaceText(report, "Lada Niva 1.7");
    typeKeys(x.display(), report, {"Tab"});
    replaceText(report, "PB1234AK");
    typeKeys(x.display(), report, {"Tab", "Tab"});
    replaceText(report, "Ivan Ivanov");

    for (int n = 1; n <= 2; ++n) {
        SCOPED_TRACE(n == 1 ? "first PRINT" : "second PRINT");
        if (n == 2) // another owner, so that the two records differ
            replaceText(report, "Petar Petrov");
        typeKeys(x.display(), report, {"Return"}); // PRINT is the default button
        QString box;
        const bool printed = waitFor(
            [&] {
                if (cups->finishedJobs().size() >= n)
                    return true;
                box = findWindow(x.display(), "Printer Error|^Official Test$|^vezaro$", 100);
                return !box.isEmpty();
            },
            30000);
        if (!box.isEmpty()) {
            ADD_FAILURE() << "a box instead of a printed page: "
                          << windowName(x.display(), box).toStdString();
            typeKeys(x.display(), box, {"Escape"});
        }
        ASSERT_TRUE(printed && box.isEmpty()) << "no job reached the queue\n"
                                              << cups->logTail().toStdString();
    }
    EXPECT_FALSE(!findWindow(x.display(), "Printer Error|^Official Test$|^vezaro$", 1000).isEmpty())
        << "a box followed the printing";
    EXPECT_FALSE(findWindow(x.display(), "Official Test to", 1000).isEmpty())
        << "the report window should stay open";

    const QByteArray log = fileBytes("Pregledi00000.GPG");
    ASSERT_EQ(log.size(), 2 * 160);
    const QStringList jobs = cups->finishedJobs();
    ASSERT_EQ(jobs.size(), 2);
    for (int n = 1; n <= 2; ++n) {
        const QByteArray record = log.mid((n - 1) * 160, 160);
        EXPECT_TRUE(record.endsWith("\r\n"));
        const Logged r = parseRecord(record);
        EXPECT_EQ(r.owner.toStdString(), n == 1 ? "Ivan Ivanov" : "Petar Petrov");
        EXPECT_EQ(r.makeModel.toStdString(), "Lada Niva 1.7");
        EXPECT_EQ(r.regNumber.toStdString(), "PB1234AK");
        expectPage(jobs[n - 1], n, r);
    }
    // Nothing fell back to a PDF in the station's directory.
    EXPECT_TRUE(QDir(dir.path()).entryList({"Pregled*.pdf"}).isEmpty());

    station.terminate();
    ASSERT_TRUE(station.waitForFinished(10000));
    checkTheLogTool(log);
}

// The log the station wrote, read back by the log tool: both examinations listed, every field
// exported, a copy reprinted, the chain verified; a changed, removed or reordered record
// makes the check fail and name the examination.
void Printing::checkTheLogTool(const QByteArray& log) {
    struct Result {
        int status;
        QString out;
    };
    auto pregledi = [&](const QStringList& args) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(binDir() + "/pregledi", QStringList{"--dir", dir.path()} + args);
        p.waitForFinished(20000);
        return Result{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                      QString::fromUtf8(p.readAllStandardOutput())};
    };
    const Result list = pregledi({"list"});
    EXPECT_EQ(list.status, 0) << list.out.toStdString();
    EXPECT_EQ(list.out.count("PB1234AK"), 2) << list.out.toStdString();
    const Result csv = pregledi({"export", "--csv"});
    EXPECT_EQ(csv.status, 0);
    for (const char* field : {"PB1234AK", "Lada Niva 1.7"})
        EXPECT_EQ(csv.out.count(QString::fromUtf8(field)), 2) << field;
    EXPECT_EQ(csv.out.count("Ivan Ivanov"), 1);
    EXPECT_EQ(csv.out.count("Petar Petrov"), 1);
    const Result verified = pregledi({"verify"});
    EXPECT_EQ(verified.status, 0) << verified.out.toStdString();

    const Result copy = pregledi({"reprint", "1", "-o", dir.filePath("copy1.pdf")});
    EXPECT_EQ(copy.status, 0) << copy.out.toStdString();
    QProcess text;
    text.start("pdftotext", {dir.filePath("copy1.pdf"), "-"});
    text.waitForFinished(20000);
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(page.contains("COPY")) << page.toStdString();
    EXPECT_TRUE(page.contains("PB1234AK"));

    struct Tamper {
        const char* what;
        QByteArray bytes;
        const char* names;
    };
    QByteArray flipped = log;
    flipped[20] = flipped[20] == 'X' ? 'Y' : 'X';
    const QByteArray swapped = log.mid(160, 160) + log.left(160);
    for (const Tamper& t : {Tamper{"one byte of the first record", flipped, "examination 1\\b"},
                            Tamper{"the last record removed", log.left(160), "examination 2\\b"},
                            Tamper{"two records swapped", swapped, "examinations 1-2\\b"}}) {
        SCOPED_TRACE(t.what);
        writeFile("Pregledi00000.GPG", t.bytes);
        const Result r = pregledi({"verify"});
        EXPECT_EQ(r.status, 1) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(QRegularExpression(QStringLiteral("TAMPERING ") + QLatin1String(t.names))))
            << r.out.toStdString();
    }
    writeFile("Pregledi00000.GPG", log);
    EXPECT_EQ(pregledi({"verify"}).status, 0);
}

} // namespace
