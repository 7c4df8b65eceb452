#include "app/SingleInstance.h"
#include "helper/HelperCodes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int kHelperLimitMs = 15000;

class SingleInstanceTest : public ::testing::Test {
protected:
    // Names of our own, so that a running Vorlinq is never involved.
    QTemporaryDir dir_;
    QString suffix_ = QStringLiteral("_test%1").arg(QCoreApplication::applicationPid());

    void Start(QProcess& process, const QString& mode)
    {
        process.setProgram(QStringLiteral(SINGLE_INSTANCE_HELPER));
        process.setArguments({suffix_, dir_.path(), mode});
        process.start();
        ASSERT_TRUE(process.waitForStarted(kHelperLimitMs));
    }

    // Runs the helper to its end while this process keeps serving its own
    // event loop (the running copy must answer it). Returns the exit code.
    int RunHelper(const QString& mode, qint64* elapsedMs = nullptr)
    {
        QProcess process;
        Start(process, mode);
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(kHelperLimitMs, &loop, &QEventLoop::quit);
        if (process.state() != QProcess::NotRunning) {
            loop.exec();
        }
        if (elapsedMs != nullptr) {
            *elapsedMs = clock.elapsed();
        }
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }
};

TEST_F(SingleInstanceTest, SecondCopyEndsAndAsksTheRunningCopyToTheFront)
{
    app::SingleInstance first(suffix_, dir_.path());
    ASSERT_TRUE(first.TryBecomePrimary());
    QSignalSpy toFront(&first, &app::SingleInstance::BringToFrontRequested);

    qint64 elapsed = 0;
    EXPECT_EQ(RunHelper(QStringLiteral("try"), &elapsed), helper::kFoundRunningCopy);
    EXPECT_LT(elapsed, 5000); // no waiting out a time-out
    EXPECT_EQ(toFront.count(), 1);

    // And again: the running copy keeps listening.
    EXPECT_EQ(RunHelper(QStringLiteral("try")), helper::kFoundRunningCopy);
    EXPECT_EQ(toFront.count(), 2);
}

TEST_F(SingleInstanceTest, StartingAgainRightAfterTheRunningCopyEndsBecomesTheRunningCopy)
{
    {
        app::SingleInstance first(suffix_, dir_.path());
        ASSERT_TRUE(first.TryBecomePrimary());
        first.Release();
        EXPECT_FALSE(first.IsPrimary());
        EXPECT_EQ(RunHelper(QStringLiteral("try")), helper::kBecamePrimary);

        // Released by destruction as well.
        ASSERT_TRUE(first.TryBecomePrimary());
    }
    EXPECT_EQ(RunHelper(QStringLiteral("try")), helper::kBecamePrimary);

    app::SingleInstance again(suffix_, dir_.path());
    EXPECT_TRUE(again.TryBecomePrimary());
}

TEST_F(SingleInstanceTest, LockAndSocketOfACrashedCopyAreTakenOver)
{
    EXPECT_EQ(RunHelper(QStringLiteral("crash")), helper::kCrashed);
    app::SingleInstance next(suffix_, dir_.path());
    ASSERT_TRUE(QFile::exists(next.LockFilePath()));
#ifndef Q_OS_WIN
    ASSERT_TRUE(QFile::exists(next.ServerName()));
#endif

    ASSERT_TRUE(next.TryBecomePrimary());
    // The socket is ours now: a further copy reaches us.
    QSignalSpy toFront(&next, &app::SingleInstance::BringToFrontRequested);
    EXPECT_EQ(RunHelper(QStringLiteral("try")), helper::kFoundRunningCopy);
    EXPECT_EQ(toFront.count(), 1);
}

TEST_F(SingleInstanceTest, RunningCopyInAnotherProcessIsAskedAndThisOneMustEnd)
{
    QProcess running;
    Start(running, QStringLiteral("hold"));
    ASSERT_TRUE(running.waitForReadyRead(kHelperLimitMs));
    ASSERT_EQ(running.readLine().trimmed(), QByteArray("primary"));

    app::SingleInstance second(suffix_, dir_.path());
    EXPECT_FALSE(second.TryBecomePrimary());
    EXPECT_FALSE(second.IsPrimary());

    ASSERT_TRUE(running.waitForFinished(kHelperLimitMs));
    EXPECT_EQ(running.exitCode(), helper::kBroughtToFront);
}

TEST_F(SingleInstanceTest, ALockThatCannotBeMadeDoesNotStopTheProgram)
{
    QFile blocker(dir_.filePath(QStringLiteral("not-a-directory")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    app::SingleInstance instance(suffix_, blocker.fileName());
    EXPECT_TRUE(instance.TryBecomePrimary());
}

TEST(AutoOpenConnection, RunsOnceWhenTheEventLoopRuns)
{
    int runs = 0;
    app::PostAutoOpenConnection([&runs] { ++runs; });
    EXPECT_EQ(runs, 0); // not before the loop
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);
}

TEST(BringWindowToFront, RestoresAMinimisedWindowToItsFormerState)
{
    QWidget plain;
    plain.show();
    plain.showMinimized();
    ASSERT_TRUE(plain.isMinimized());
    app::BringWindowToFront(&plain);
    EXPECT_FALSE(plain.isMinimized());
    EXPECT_TRUE(plain.isVisible());

    QWidget maximised;
    maximised.show();
    maximised.setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    app::BringWindowToFront(&maximised);
    EXPECT_EQ(maximised.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized), Qt::WindowMaximized);

    app::BringWindowToFront(nullptr); // no window yet: nothing happens
}

} // namespace
