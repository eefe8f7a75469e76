#include "preview.h"

#include "app/main.h"
#include "preview/phpserver.h"
#include "preview/serverlogpanel.h"
#include "preview/webbrowser.h"

#include <QRegularExpression>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

QWebEngineView *webView(WebBrowser *browser)
{
    auto *view = qobject_cast<QWebEngineView *>(browser->view());
    EXPECT_NE(view, nullptr) << "no web engine: " << browser->failure().toStdString();
    return view;
}

QString shownText(TfmMain &window)
{
    QString text;
    bool done = false;
    webView(window.WB)->page()->toPlainText([&](const QString &t) {
        text = t;
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, kLoadTimeoutMs)) << "the browser gave no text";
    return text;
}

QStringList builtinServerRequests(const TfmMain &window)
{
    static const QRegularExpression request(QStringLiteral(R"(\[\d{3}\]: (\S+ \S+))"));
    QStringList list;
    for (const auto &line : window.server()->log()) {
        const QRegularExpressionMatch m = request.match(line.text);
        if (line.kind == ServerLineKind::Request && m.hasMatch())
            list << m.captured(1);
    }
    return list;
}
