#include "model/AnnotationLink.h"
#include "model/SiteName.h"

#include <QTest>

namespace {

AnnotationLink makeLink(const QString &urlString, const QString &label = QString())
{
    return AnnotationLink{QUuid::createUuid(), label, urlString};
}

std::optional<QString> urlText(const QString &urlString)
{
    const std::optional<QUrl> url = makeLink(urlString).url();
    if (!url)
        return std::nullopt;
    return url->toString(QUrl::FullyEncoded);
}

std::optional<QString> site(const char *url)
{
    return siteName(QUrl(QString::fromUtf8(url)));
}

} // namespace

class AnnotationLinksTest : public QObject {
    Q_OBJECT
private slots:
    void addresses_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<std::optional<QString>>("expected");
        const std::optional<QString> none;

        QTest::newRow("host and path, blanks around") << " \t example.com/path \n"
                                                     << std::optional<QString>("https://example.com/path");
        QTest::newRow("own scheme") << "https://anatomy.org/skull" << std::optional<QString>("https://anatomy.org/skull");
        QTest::newRow("http stays http") << "http://example.com" << std::optional<QString>("http://example.com");
        QTest::newRow("scheme in capitals") << "HTTPS://Example.com/A" << std::optional<QString>("https://example.com/A");
        QTest::newRow("mail address") << "mailto:someone@example.org"
                                      << std::optional<QString>("mailto:someone@example.org");
        QTest::newRow("www host") << "www.example.com" << std::optional<QString>("https://www.example.com");
        QTest::newRow("blank in path") << "example.com/my page"
                                       << std::optional<QString>("https://example.com/my%20page");
        QTest::newRow("address with port, no scheme") << "10.0.0.1:8080/x"
                                                      << std::optional<QString>("https://10.0.0.1:8080/x");
        QTest::newRow("unicode blanks only") << QString::fromUtf8("\u00a0 \u2028") << none;
        QTest::newRow("empty") << "" << none;
        QTest::newRow("no host") << "//" << none;
        QTest::newRow("blank in host") << "exa mple.com" << none;
    }

    void addresses()
    {
        QFETCH(QString, typed);
        QFETCH(std::optional<QString>, expected);
        QCOMPARE(urlText(typed), expected);
    }

    // Links arrive in archives other people share and are opened by the
    // desktop: only web and mail addresses may come out.
    void onlyWebAndMailSchemesOpen_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("javascript, mixed case, blanks") << "  JavaScript:alert(1)";
        QTest::newRow("file") << "file:///etc/passwd";
        QTest::newRow("data") << "data:text/html;base64,PHNjcmlwdD4=";
        QTest::newRow("custom scheme") << "veloran-helper://run?cmd=rm";
        QTest::newRow("ftp") << "ftp://example.com/file";
        // A host and port without a scheme reads as the scheme "localhost".
        QTest::newRow("host with port") << "localhost:8080/x";
    }

    void onlyWebAndMailSchemesOpen()
    {
        QFETCH(QString, typed);
        QCOMPARE(makeLink(typed).url(), std::nullopt);
    }

    void siteNames()
    {
        QCOMPARE(site("https://www.abc.co.uk/x"), std::optional<QString>("ABC"));
        QCOMPARE(site("https://en.anatomy.org"), std::optional<QString>("Anatomy"));
        QCOMPARE(site("https://abcd.gov"), std::optional<QString>("ABCD"));
        QCOMPARE(site("https://abcde.gov"), std::optional<QString>("Abcde"));
        QCOMPARE(site("https://192.168.10.1/"), std::optional<QString>("192.168.10.1"));
        QCOMPARE(site("https://co.uk"), std::optional<QString>("CO"));
        QCOMPARE(site("https://WWW.Radiopaedia.ORG/cases"), std::optional<QString>("Radiopaedia"));
        QCOMPARE(site("https://www"), std::optional<QString>("www"));
        QCOMPARE(site("https://localhost:8080"), std::optional<QString>("Localhost"));
        QCOMPARE(site("https://my.hospital.nhs.uk"), std::optional<QString>("Hospital"));
        // Non-ASCII labels count letters, not code units, and read the same
        // under any top-level domain.
        QCOMPARE(site("https://\u00e9t\u00e9.co.uk"), std::optional<QString>("\u00c9T\u00c9"));
        QCOMPARE(site("https://www.\u00e9cole.com"), std::optional<QString>("\u00c9cole"));
        QCOMPARE(site("mailto:someone@example.org"), std::nullopt);
        QCOMPARE(siteName(QUrl()), std::nullopt);
        QCOMPARE(genericDomainLabels().size(), 18);
        QVERIFY(genericDomainLabels().contains(QStringLiteral("nhs")));
    }

    void displayTitles()
    {
        QCOMPARE(makeLink("https://www.abc.co.uk", "  Skull atlas \n").displayTitle(), QStringLiteral("Skull atlas"));
        QCOMPARE(makeLink("www.abc.co.uk/page", " ").displayTitle(), QStringLiteral("ABC"));
        QCOMPARE(makeLink("https://en.anatomy.org").displayTitle(), QStringLiteral("Anatomy"));
        // No usable address: the text exactly as stored.
        QCOMPARE(makeLink(" not a url ", "\t").displayTitle(), QStringLiteral(" not a url "));
        QCOMPARE(makeLink(" javascript:alert(1)").displayTitle(), QStringLiteral(" javascript:alert(1)"));
        // An address without a site name (mail) shows as stored too.
        QCOMPARE(makeLink("mailto:a@b.org").displayTitle(), QStringLiteral("mailto:a@b.org"));
        QCOMPARE(makeLink(QString()).displayTitle(), QString());
    }
};

QTEST_GUILESS_MAIN(AnnotationLinksTest)
#include "tst_annotationlinks.moc"
