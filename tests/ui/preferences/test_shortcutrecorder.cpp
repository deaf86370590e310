// The shortcut recorder of the General tab, driven by key events.

#include "ui/preferences/ShortcutRecorder.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using Recorded = std::optional<QString>;
Q_DECLARE_METATYPE(Recorded)

class TestShortcutRecorder : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;
    ShortcutRecorder *m_recorder = nullptr;
    QLineEdit *m_after = nullptr;

private Q_SLOTS:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(m_window.get());
        m_recorder = new ShortcutRecorder(m_window.get());
        m_after = new QLineEdit(m_window.get());
        layout->addWidget(m_recorder);
        layout->addWidget(m_after);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_recorder->setPortableText(QStringLiteral("Alt+Space"));
        m_recorder->setFocus();
    }

    void recordsOneChord()
    {
        QSignalSpy recorded(m_recorder, &ShortcutRecorder::shortcutRecorded);
        QTest::keyClick(m_recorder, Qt::Key_J, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(recorded.count(), 1);
        QCOMPARE(recorded.at(0).at(0).value<Recorded>(), Recorded(QStringLiteral("Ctrl+Shift+J")));
        QCOMPARE(m_recorder->portableText(), Recorded(QStringLiteral("Ctrl+Shift+J")));
        QCOMPARE(m_recorder->keySequence().count(), 1);

        // A function key works alone.
        QTest::keyClick(m_recorder, Qt::Key_F9);
        QCOMPARE(m_recorder->portableText(), Recorded(QStringLiteral("F9")));
    }

    void refusesModifiersWithoutAKey()
    {
        QSignalSpy recorded(m_recorder, &ShortcutRecorder::shortcutRecorded);
        QSignalSpy refused(m_recorder, &ShortcutRecorder::refused);
        const auto send = [this](QEvent::Type type, int key, Qt::KeyboardModifiers modifiers) {
            QKeyEvent event(type, key, modifiers);
            QCoreApplication::sendEvent(m_recorder, &event);
        };
        const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
        send(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
        send(QEvent::KeyPress, Qt::Key_Alt, ctrlAlt);
        // X11 reports a release with the state before it: Alt goes, Ctrl is still held.
        send(QEvent::KeyRelease, Qt::Key_Alt, ctrlAlt);
        QCOMPARE(refused.count(), 0);
        send(QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
        QCOMPARE(refused.count(), 1);
        QVERIFY(refused.at(0).at(0).toString().contains(QStringLiteral("a key besides")));
        QCOMPARE(recorded.count(), 0);
        QCOMPARE(m_recorder->portableText(), Recorded(QStringLiteral("Alt+Space")));
    }

    void refusesKeysThatType()
    {
        QSignalSpy refused(m_recorder, &ShortcutRecorder::refused);
        QTest::keyClick(m_recorder, Qt::Key_A);
        QTest::keyClick(m_recorder, Qt::Key_A, Qt::ShiftModifier);
        QCOMPARE(refused.count(), 2);
        QCOMPARE(m_recorder->portableText(), Recorded(QStringLiteral("Alt+Space")));
    }

    void clearsGivesUpAndMovesOn()
    {
        QSignalSpy recorded(m_recorder, &ShortcutRecorder::shortcutRecorded);
        QTest::keyClick(m_recorder, Qt::Key_Escape);
        QCOMPARE(recorded.count(), 0);
        QCOMPARE(m_recorder->portableText(), Recorded(QStringLiteral("Alt+Space")));

        QTest::keyClick(m_recorder, Qt::Key_Backspace);
        QCOMPARE(recorded.count(), 1);
        QCOMPARE(recorded.at(0).at(0).value<Recorded>(), Recorded());
        QCOMPARE(m_recorder->portableText(), Recorded());

        QTest::keyClick(m_recorder, Qt::Key_Tab);
        QVERIFY(m_after->hasFocus());
        QCOMPARE(recorded.count(), 1);
    }
};

QTEST_MAIN(TestShortcutRecorder)
#include "test_shortcutrecorder.moc"
