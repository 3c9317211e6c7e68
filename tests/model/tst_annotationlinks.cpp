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
        // An empty expectation: no address.
        const auto row = [](const char *name, const QString &typed, const QString &expected = {}) {
            QTest::newRow(name) << typed << (expected.isEmpty() ? std::nullopt : std::optional<QString>(expected));
        };
        row("host and path, blanks around", " \t example.com/path \n", "https://example.com/path");
        row("own scheme", "https://anatomy.org/skull", "https://anatomy.org/skull");
        row("http stays http", "http://example.com", "http://example.com");
        row("scheme in capitals", "HTTPS://Example.com/A", "https://example.com/A");
        row("mail address", "mailto:someone@example.org", "mailto:someone@example.org");
        row("www host", "www.example.com", "https://www.example.com");
        row("encoded blank in path", "example.com/my%20page", "https://example.com/my%20page");
        // Text that is no valid address as typed has none, with or without
        // a scheme: it is not mended into some other address.
        row("blank in path", "example.com/my page");
        row("blank in path, host of labels", "en.anatomy.org/left lung");
        row("blank in host after a scheme", "http://exa mple.com");
        row("stray percent", "example.com/100%");
        row("bad escape after a scheme", "https://example.com/%zz");
        row("address with port, no scheme", "10.0.0.1:8080/x", "https://10.0.0.1:8080/x");
        row("unicode blanks only", QString::fromUtf8("\u00a0 \u2028"));
        row("empty", "");
        row("no host", "//");
        row("blank in host", "exa mple.com");
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
        // Non-ASCII labels count letters, not code units, and read the same
        // under any top-level domain.
        for (const auto &[url, name] : {std::pair{"https://www.abc.co.uk/x", "ABC"}, {"https://en.anatomy.org", "Anatomy"},
                                        {"https://abcd.gov", "ABCD"}, {"https://abcde.gov", "Abcde"},
                                        {"https://192.168.10.1/", "192.168.10.1"}, {"https://co.uk", "CO"},
                                        {"https://WWW.Radiopaedia.ORG/cases", "Radiopaedia"}, {"https://www", "www"},
                                        {"https://localhost:8080", "Localhost"}, {"https://my.hospital.nhs.uk", "Hospital"},
                                        {"https://\u00e9t\u00e9.co.uk", "\u00c9T\u00c9"},
                                        {"https://www.\u00e9cole.com", "\u00c9cole"}})
            QCOMPARE(site(url), std::optional<QString>(QString::fromUtf8(name)));
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
        QCOMPARE(makeLink("http://exa mple.com").displayTitle(), QStringLiteral("http://exa mple.com"));
        QCOMPARE(makeLink("en.anatomy.org/left lung ").displayTitle(), QStringLiteral("en.anatomy.org/left lung "));
        QCOMPARE(makeLink(" javascript:alert(1)").displayTitle(), QStringLiteral(" javascript:alert(1)"));
        // An address without a site name (mail) shows as stored too.
        QCOMPARE(makeLink("mailto:a@b.org").displayTitle(), QStringLiteral("mailto:a@b.org"));
        QCOMPARE(makeLink(QString()).displayTitle(), QString());
    }

    // A title names the address's site whatever the address may open;
    // which links open stays limited.
    void titlesAnyScheme_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("opens");
        QTest::newRow("ftp") << "ftp://en.anatomy.org/x" << "Anatomy" << false;
        QTest::newRow("ftp, capitals, generic labels") << " FTP://WWW.ABC.CO.UK/atlas " << "ABC" << false;
        QTest::newRow("custom scheme with a host") << "veloran-helper://run?cmd=rm" << "RUN" << false;
        QTest::newRow("file, no host") << "file:///etc/passwd" << "file:///etc/passwd" << false;
        QTest::newRow("host and port read as a scheme") << "localhost:8080/x" << "localhost:8080/x" << false;
        QTest::newRow("https") << "https://en.anatomy.org/x" << "Anatomy" << true;
    }
    void titlesAnyScheme()
    {
        QFETCH(QString, typed);
        QFETCH(bool, opens);
        QTEST(makeLink(typed, QStringLiteral(" ")).displayTitle(), "title");
        QCOMPARE(makeLink(typed).url().has_value(), opens);
        QVERIFY(makeLink(typed).address().has_value());
        QCOMPARE(makeLink(typed, QStringLiteral("Atlas")).displayTitle(), QStringLiteral("Atlas"));
    }
};

QTEST_GUILESS_MAIN(AnnotationLinksTest)
#include "tst_annotationlinks.moc"
