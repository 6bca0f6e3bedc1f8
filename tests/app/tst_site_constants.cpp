// The places the program names, and the two environment overrides.
#include <QTest>

#include "app/site_constants.h"
#include "text/encoding.h"

using namespace velinor;

namespace {

QString Utf8(const TextValue& text) { return QString::fromStdString(AnsiToUtf8(text)); }

}  // namespace

class SiteConstantsTest : public QObject {
  Q_OBJECT

 private slots:
  void addresses_data();
  void addresses();
  void contactAndRelease();
  void cleanup() {
    qunsetenv("VELINOR_SITE");
    qunsetenv("VELINOR_DOWNLOAD_SERVER");
  }
};

void SiteConstantsTest::addresses_data() {
  QTest::addColumn<QByteArray>("site");
  QTest::addColumn<QByteArray>("server");
  QTest::addColumn<QString>("marker");
  QTest::addColumn<QString>("listing");
  QTest::addColumn<QString>("versionFile");
  QTest::addColumn<QString>("upgrade");

  QTest::newRow("constants") << QByteArray() << QByteArray() << "velinor.com/media"
                             << "http://www.velinor.com/soundeffect/"
                             << "https://dl.tamsel.net/e/yz/velinor_exe.txt"
                             << "https://dl.tamsel.net/e/yz/Velinor音效下载器.zip";
  QTest::newRow("empty variables hold the constants")
      << QByteArray("") << QByteArray("") << "velinor.com/media"
      << "http://www.velinor.com/soundeffect/"
      << "https://dl.tamsel.net/e/yz/velinor_exe.txt"
      << "https://dl.tamsel.net/e/yz/Velinor音效下载器.zip";
  QTest::newRow("local mirror") << QByteArray("127.0.0.1:8080") << QByteArray("http://127.0.0.1:9")
                                << "127.0.0.1:8080/media"
                                << "http://127.0.0.1:8080/soundeffect/"
                                << "http://127.0.0.1:9/e/yz/velinor_exe.txt"
                                << "http://127.0.0.1:9/e/yz/Velinor音效下载器.zip";
  QTest::newRow("server with a trailing slash")
      << QByteArray("localhost") << QByteArray("https://127.0.0.1:4443/") << "localhost/media"
      << "http://localhost/soundeffect/"
      << "https://127.0.0.1:4443/e/yz/velinor_exe.txt"
      << "https://127.0.0.1:4443/e/yz/Velinor音效下载器.zip";
}

void SiteConstantsTest::addresses() {
  QFETCH(QByteArray, site);
  QFETCH(QByteArray, server);
  QFETCH(QString, marker);
  QFETCH(QString, listing);
  QFETCH(QString, versionFile);
  QFETCH(QString, upgrade);
  if (!site.isNull()) qputenv("VELINOR_SITE", site);
  if (!server.isNull()) qputenv("VELINOR_DOWNLOAD_SERVER", server);
  QCOMPARE(Utf8(SectionMarker()), marker);
  QCOMPARE(Utf8(ListingPageAddress()), listing);
  QCOMPARE(Utf8(VersionFileAddress()), versionFile);
  QCOMPARE(Utf8(UpgradePackageAddress()), upgrade);
  // The upgrade path is code page 936 inside the program.
  QVERIFY(UpgradePackageAddress().find("\xd2\xf4\xd0\xa7") != TextValue::npos);  // 音效
}

void SiteConstantsTest::contactAndRelease() {
  QCOMPARE(OwnVersion(), TextValue("1.2.0"));
  const QString contact = Utf8(ContactText());
  QVERIFY(contact.startsWith("QQ："));
  bool digits = false;
  contact.mid(3).toLongLong(&digits);
  QVERIFY(digits);
  QVERIFY(contact.size() >= 3 + 5);
}

QTEST_MAIN(SiteConstantsTest)
#include "tst_site_constants.moc"
