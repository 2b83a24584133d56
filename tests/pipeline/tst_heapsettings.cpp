// The pictures of a frame come from the allocator's heap and their memory
// stays there for the next frame's, instead of being mapped and faulted in
// afresh for each.

#include "pipeline/heapsettings.h"

#include <QtTest>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

class TestHeapSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the address sanitizer's allocator takes the place of the heap");
#endif
        keepPicturesInHeap();
    }

    void picturesStayInTheHeap_data()
    {
        QTest::addColumn<size_t>("bytes");
        QTest::newRow("1080p, blue-green-red") << size_t(1920 * 1080 * 3);
        QTest::newRow("UHD, blue-green-red") << size_t(3840 * 2160 * 3);
        QTest::newRow("UHD, blue-green-red-alpha") << size_t(3840 * 2160 * 4);
    }

    void picturesStayInTheHeap()
    {
        QFETCH(size_t, bytes);
        const size_t mappedBefore = mallinfo2().hblkhd;
        void* picture = std::malloc(bytes);
        QVERIFY(picture);
        std::memset(picture, 0x80, bytes);
        QCOMPARE(mallinfo2().hblkhd, mappedBefore);
        std::free(picture);
        // Kept free for the next picture, not given back to the system.
        QVERIFY(mallinfo2().fordblks >= bytes);
    }
};

QTEST_GUILESS_MAIN(TestHeapSettings)
#include "tst_heapsettings.moc"
