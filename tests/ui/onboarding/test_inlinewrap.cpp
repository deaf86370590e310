// The wrapping line layout of the setup window's bullets, as measured and
// placed, and as a real layout of widgets.

#include "ui/onboarding/InlineWrap.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace {

constexpr int spacing = 3;
constexpr int lineSpacing = 6;

// A widget of a fixed ideal size.
class Box : public QWidget
{
public:
    Box(QSize size, QWidget *parent)
        : QWidget(parent)
        , m_size(size)
    {
    }
    QSize sizeHint() const override { return m_size; }

private:
    QSize m_size;
};

} // namespace

class TestInlineWrap : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void measures_data()
    {
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::addColumn<std::optional<int>>("width");
        QTest::addColumn<QSize>("expected");
        const QList<QSize> three(3, QSize(40, 20));
        QTest::newRow("two on the first line, one on the second")
            << three << std::optional<int>(100) << QSize(83, 46);
        QTest::newRow("no width proposed: one line")
            << three << std::optional<int>() << QSize(126, 20);
        QTest::newRow("exactly filled line stays one line")
            << three << std::optional<int>(126) << QSize(126, 20);
        QTest::newRow("one short of it wraps") << three << std::optional<int>(125) << QSize(83, 46);
        QTest::newRow("a wide item is never shrunk")
            << QList<QSize>{QSize(150, 10)} << std::optional<int>(100) << QSize(150, 10);
        QTest::newRow("a wide item after a small one gets a line of its own")
            << QList<QSize>{QSize(40, 20), QSize(150, 10)} << std::optional<int>(100)
            << QSize(150, 36);
        QTest::newRow("a line is as tall as its tallest item")
            << QList<QSize>{QSize(10, 12), QSize(10, 30), QSize(90, 5)} << std::optional<int>(50)
            << QSize(90, 41);
        QTest::newRow("nothing") << QList<QSize>{} << std::optional<int>(100) << QSize(0, 0);
        QTest::newRow("no room at all: one item per line")
            << three << std::optional<int>(0) << QSize(40, 72);
    }

    void measures()
    {
        QFETCH(QList<QSize>, sizes);
        QFETCH(std::optional<int>, width);
        QFETCH(QSize, expected);
        QCOMPARE(InlineWrap::measure(sizes, width, spacing, lineSpacing), expected);
    }

    void places()
    {
        const QRect bounds(10, 5, 100, 200);
        const QList<QRect> frames =
            InlineWrap::place({QSize(40, 20), QSize(40, 12), QSize(40, 20), QSize(150, 8)}, bounds,
                              spacing, lineSpacing);
        QCOMPARE(frames,
                 (QList<QRect>{QRect(10, 5, 40, 20), QRect(53, 5, 40, 12),
                               // The first line is 20 high (its tallest item), then 6 between.
                               QRect(10, 31, 40, 20),
                               // Wider than the bounds: alone, at the left edge, full width.
                               QRect(10, 57, 150, 8)}));
    }

    void widthOfBoundsIsItsOwnNotFromZero()
    {
        // Bounds that start at x = 50 still give the line its 100 points.
        const QList<QRect> frames = InlineWrap::place(QList<QSize>(3, QSize(40, 20)),
                                                      QRect(50, 0, 100, 100), spacing, lineSpacing);
        QCOMPARE(frames[1].topLeft(), QPoint(93, 0));
        QCOMPARE(frames[2].topLeft(), QPoint(50, 26));
    }

    void laysOutWidgets()
    {
        QWidget host;
        auto *wrap = new InlineWrap(spacing, lineSpacing, &host);
        QList<Box *> boxes;
        for (int i = 0; i < 3; ++i) {
            boxes.append(new Box(QSize(40, 20), &host));
            wrap->addWidget(boxes.last());
        }
        QCOMPARE(wrap->sizeHint(), QSize(126, 20));
        QVERIFY(wrap->hasHeightForWidth());
        QCOMPARE(wrap->heightForWidth(100), 46);
        QCOMPARE(wrap->minimumSize(), QSize(40, 20));

        host.resize(100, 46);
        wrap->setGeometry(QRect(0, 0, 100, 46));
        QCOMPARE(boxes[0]->geometry(), QRect(0, 0, 40, 20));
        QCOMPARE(boxes[1]->geometry(), QRect(43, 0, 40, 20));
        QCOMPARE(boxes[2]->geometry(), QRect(0, 26, 40, 20));

        // A hidden item takes no room.
        boxes[1]->hide();
        wrap->setGeometry(QRect(0, 0, 100, 46));
        QCOMPARE(boxes[2]->geometry(), QRect(43, 0, 40, 20));
        QCOMPARE(wrap->sizeHint(), QSize(83, 20));
    }
};

QTEST_MAIN(TestInlineWrap)
#include "test_inlinewrap.moc"
