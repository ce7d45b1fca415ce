// What a double click may hand to the desktop's opener.
#include <QTest>

#include "rules/OpenRules.h"

class TestOpenRules : public QObject {
    Q_OBJECT
private slots:
    void fileKinds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("opened");
        QByteArray tar(512, '\0');
        tar.replace(257, 5, "ustar");
        QTest::newRow("JPEG") << "a.JPG" << QByteArray("\xFF\xD8\xFF\xE0") << true;
        QTest::newRow("GIF") << "a.gif" << QByteArray("GIF89a") << true;
        QTest::newRow("WebP") << "a.webp" << QByteArray("RIFF\1\0\0\0WEBPVP8 ", 16) << true;
        QTest::newRow("WAVE named .webp") << "a.webp" << QByteArray("RIFF\1\0\0\0WAVEfmt ", 16) << false;
        QTest::newRow("MP4") << "v.mp4"
                             << QByteArray("\0\0\0\x18"
                                           "ftypmp42",
                                           12)
                             << true;
        QTest::newRow("WebM") << "v.webm" << QByteArray("\x1A\x45\xDF\xA3") << true;
        QTest::newRow("MP3 with a tag") << "s.mp3" << QByteArray("ID3\3") << true;
        QTest::newRow("MP3 frame") << "s.mp3" << QByteArray("\xFF\xFB\x90") << true;
        QTest::newRow("Ogg") << "s.ogg" << QByteArray("OggS") << true;
        QTest::newRow("ZIP") << "a.zip" << QByteArray("PK\3\4") << true;
        QTest::newRow("gzip") << "a.tar.gz" << QByteArray("\x1F\x8B\x08") << true;
        QTest::newRow("tar") << "a.tar" << tar << true;
        QTest::newRow("tar, too short to tell") << "a.tar" << tar.left(200) << false;
        QTest::newRow("PDF") << "d.pdf" << QByteArray("%PDF-1.4") << true;
        QTest::newRow("EPUB") << "b.epub" << QByteArray("PK\3\4") << true;
        QTest::newRow("JAR is an archive that runs") << "t.jar" << QByteArray("PK\3\4") << false;
        QTest::newRow("desktop entry") << "r.desktop" << QByteArray("[Desktop Entry]") << false;
        QTest::newRow("shell script") << "i.sh" << QByteArray("#!/bin/sh") << false;
        QTest::newRow("Windows program") << "s.exe" << QByteArray("MZ") << false;
        QTest::newRow("ELF named .png") << "p.png"
                                        << QByteArray("\x7F"
                                                      "ELF")
                                        << false;
        QTest::newRow("script named .pdf") << "d.pdf" << QByteArray("#!/usr/bin/env python3") << false;
        QTest::newRow("empty file") << "a.jpg" << QByteArray() << false;
        QTest::newRow("no extension") << "jpg" << QByteArray("\xFF\xD8\xFF") << false;
        QTest::newRow("SVG may hold scripts") << "a.svg" << QByteArray("<svg") << false;
    }
    void fileKinds()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, head);
        QTEST(FileMayBeOpened(name, head), "opened");
    }

    void webAddresses_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<bool>("web");
        QTest::newRow("http") << QByteArray("http://a/") << true;
        QTest::newRow("HTTPS") << QByteArray("HTTPS://a/") << true;
        QTest::newRow("file") << QByteArray("file:///etc/passwd") << false;
        QTest::newRow("smb") << QByteArray("smb://s/x") << false;
        QTest::newRow("leading space") << QByteArray(" http://a/") << false;
        QTest::newRow("scheme only") << QByteArray("http:") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void webAddresses()
    {
        QFETCH(QByteArray, address);
        QTEST(IsWebAddress(address), "web");
    }
};

QTEST_MAIN(TestOpenRules)
#include "test_open_rules.moc"
