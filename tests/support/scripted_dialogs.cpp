#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include "platform/failure.h"

#include <QDialog>
#include <QRegularExpression>

namespace quillmere::testing {

ScriptedDialogs::ScriptedDialogs() = default;

ScriptedDialogs::~ScriptedDialogs() {
    EXPECT_TRUE(m_expected.empty()) << m_expected.size() << " expected prompt(s) never shown, "
                                    << "the first a " << m_expected.front().kind.toStdString();
}

ScriptedDialogs& ScriptedDialogs::expectMessage(std::optional<QString> text, Answer answer) {
    m_expected.push_back(
        {QStringLiteral("message"), std::move(text), answer, std::nullopt, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectPrompt(std::optional<QString> answer) {
    m_expected.push_back(
        {QStringLiteral("prompt"), std::nullopt, Answer::Ok, std::move(answer), std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectOpenFiles(const QString& result) {
    m_expected.push_back(
        {QStringLiteral("openFiles"), std::nullopt, Answer::Ok, result, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectOpenFilesFailure(long number) {
    m_expected.push_back(
        {QStringLiteral("openFiles"), std::nullopt, Answer::Ok, QString(), number});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectSaveFile(const QString& result) {
    m_expected.push_back(
        {QStringLiteral("saveFile"), std::nullopt, Answer::Ok, result, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectBrowseFolder(const QString& result) {
    m_expected.push_back(
        {QStringLiteral("browseFolder"), std::nullopt, Answer::Ok, result, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectModal(std::function<void(QDialog&)> user) {
    m_expected.push_back({QStringLiteral("modal"), std::nullopt, Answer::Ok, std::nullopt,
                          std::nullopt, std::move(user)});
    return *this;
}

std::vector<ShownPrompt> ScriptedDialogs::errorReports() const {
    std::vector<ShownPrompt> reports;
    for (const auto& prompt : m_shown)
        if (prompt.caption == QLatin1String("Application Error")) reports.push_back(prompt);
    return reports;
}

std::vector<int> ScriptedDialogs::errorReportLines() const {
    static const QRegularExpression line(QStringLiteral("at line (\\d+)\r\r"));
    std::vector<int> lines;
    for (const auto& report : errorReports())
        lines.push_back(line.match(report.text).captured(1).toInt());
    return lines;
}

std::optional<ScriptedDialogs::Expected> ScriptedDialogs::take(const ShownPrompt& prompt) {
    m_shown.push_back(prompt);
    if (m_whileOpen) std::exchange(m_whileOpen, nullptr)();
    if (m_expected.empty() || m_expected.front().kind != prompt.kind) {
        ADD_FAILURE() << "unexpected " << prompt.kind.toStdString() << " \""
                      << prompt.caption.toStdString() << "\": " << prompt.text.toStdString();
        return std::nullopt;
    }
    Expected expected = m_expected.front();
    m_expected.pop_front();
    if (expected.text) {
        EXPECT_EQ(prompt.text.toStdString(), expected.text->toStdString());
    }
    return expected;
}

Answer ScriptedDialogs::message(const Message& message) {
    const ShownPrompt shown{QStringLiteral("message"), message.caption, message.text,
                            message.buttons,           message.icon,    message.details};
    if (m_allowErrorReports && message.caption == QLatin1String("Application Error")) {
        m_shown.push_back(shown);
        return Answer::Ok;
    }
    const auto expected = take(shown);
    if (!expected) return message.buttons == MessageButtons::YesNo ? Answer::No : Answer::Ok;
    return expected->answer;
}

std::optional<QString> ScriptedDialogs::prompt(const QString& text, const QString& initial) {
    const auto expected = take(
        {QStringLiteral("prompt"), applicationTitle(), text + QStringLiteral(" | ") + initial});
    return expected ? expected->result : std::nullopt;
}

QString ScriptedDialogs::openFiles(const OpenFilesRequest& request) {
    const auto expected =
        take({QStringLiteral("openFiles"), request.title, request.filters.join(";;")});
    if (expected && expected->failure) throw Failure(*expected->failure, "The dialog failed.");
    return expected ? expected->result.value_or(QString()) : QString();
}

QString ScriptedDialogs::saveFile(const QString& title, const QString& initialPath,
                                  const QString& filter) {
    const auto expected =
        take({QStringLiteral("saveFile"), title, initialPath + QStringLiteral(" | ") + filter});
    return expected ? expected->result.value_or(QString()) : QString();
}

QString ScriptedDialogs::browseFolder(const QString& prompt, const QString& initialFolder) {
    const auto expected = take({QStringLiteral("browseFolder"), prompt, initialFolder});
    return expected ? expected->result.value_or(QString()) : QString();
}

void ScriptedDialogs::showModal(QDialog& window) {
    const auto expected = take({QStringLiteral("modal"), window.windowTitle(), QString()});
    if (!expected) return;
    window.show();
    expected->user(window);
}

}  // namespace quillmere::testing
