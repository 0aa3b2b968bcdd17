// The options window's typed texts: the block message, the group for new systems, the three password
// boxes and the ports. A stored block message must reach client services field for field; a changed
// password must open the console afterwards, from the prompt and from a second start; no combination
// may make a statement fail.

#include "FuzzSupport.h"
#include "TempDatabase.h"
#include "core/options/OptionsModel.h"
#include "core/options/SettingsPayload.h"
#include "core/platform/AutoStartSwitch.h"
#include "core/platform/TraySwitch.h"
#include "core/startup/CommandLine.h"
#include "core/startup/ConsoleAccess.h"
#include "core/store/Schema.h"
#include "core/store/StorableText.h"
#include "protocol/SettingsOrder.h"
#include "protocol/WireCodec.h"

#include <QSqlQuery>
#include <algorithm>

using namespace kestrava;

namespace {

class Tray final : public TraySwitch {
public:
    bool isTrayIconVisible() const override { return m_visible; }
    void setTrayIconVisible(bool visible) override { m_visible = visible; }

private:
    bool m_visible = true;
};

class AutoStart final : public AutoStartSwitch {
public:
    bool isAutoStartSet() const override { return m_set; }
    void setAutoStart(bool on) override { m_set = on; }

private:
    bool m_set = false;
};

TempDatabase* temp = nullptr;

QString storedText(const QString& sql) {
    return temp->db().scalar(sql).toString();
}

void checkSettingsMessage(const OptionsValues& values) {
    const QString sent = encodeSettings(Get_The_Settings(temp->db(), {}));
    const Decoded<Settings> read = decodeSettings(WireCodec::decodeSingleByte(WireCodec::encode(sent)));
    fuzz::check(read.value && read.value->ports.size() == kProtocolCount,
                "the settings message has another number of ports", sent);
    if (!read.value)
        return;
    for (int i = 0; i < kProtocolCount; ++i)
        fuzz::check(read.value->ports.at(i) == std::clamp(values.ports[i], 0, kMaxPort),
                    "a port reached client services otherwise", sent);
    fuzz::check(read.value->blockMessage == values.blockMessage.left(OptionsModel::kMaxMessageLength),
                "the block message reached client services otherwise", sent);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startApplication(argc, argv);
    static TempDatabase instance;
    temp = &instance;
    temp->db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key,Group_Name) VALUES(?,?)"),
                    {QStringLiteral("g\u00c7LAB"), QStringLiteral("Lab")});
    return 0;
}

// Input: switches and ports as bytes, then the block message, the group and the three passwords.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    Database& db = temp->db();
    db.exec(
        QStringLiteral("UPDATE Settings_Table SET AppBlockerMessage=?, Password=?, AskPwd=0, AddToGroup='', "
                       "LocalPort=?"),
        {Schema::factoryBlockMessage(), QString::fromLatin1(Schema::kFactoryPassword),
         Schema::kFactoryLocalPort});

    Tray tray;
    AutoStart autoStart;
    int sent = 0;
    OptionsModel model(db, tray, autoStart, [&](const QString&) { ++sent; });
    OptionsValues values = model.load();
    const std::uint8_t switches = input.byte();
    values.askPwd = (switches & 1) != 0;
    values.showInTray = (switches & 2) != 0;
    values.autoStart = (switches & 4) != 0;
    values.localPort = static_cast<std::int16_t>(input.word());
    for (int& port : values.ports)
        port = static_cast<std::int16_t>(input.word());
    values.blockMessage = input.typedText();
    values.addToGroup = (switches & 8) != 0 ? QStringLiteral("Lab") : input.typedText();
    values.oldPassword =
        (switches & 16) != 0 ? QString::fromLatin1(Schema::kFactoryPassword) : input.typedText();
    values.newPassword = input.typedText();
    values.confirmPassword = (switches & 32) != 0 ? values.newPassword : input.typedText();

    const ApplyResult result = model.apply(values);
    for (const ApplyResult::Notice& notice : result.notices)
        fuzz::check(notice.kind != ApplyResult::Notice::Kind::Critical, "Apply of the options failed",
                    notice.text);

    fuzz::check(Is_Password_Required(db) == values.askPwd, "AskPwd was not stored");
    fuzz::check(storedText(QStringLiteral("SELECT AddToGroup FROM Settings_Table")) ==
                    StorableText::of(values.addToGroup),
                "the group for new systems was not stored as chosen", values.addToGroup);
    if (result.passwordChanged) {
        fuzz::check(Check_Password(db, values.newPassword), "the new password does not open the console",
                    values.newPassword);
        if (values.newPassword.size() <= OptionsModel::kMaxPasswordLength) {
            const QString line = Make_Command_Line({QStringLiteral("-v"), values.newPassword});
            fuzz::check(Check_Password(db, line.mid(3)), "a second start with the new password is refused",
                        line);
        }
    } else {
        fuzz::check(Check_Password(db, QString::fromLatin1(Schema::kFactoryPassword)),
                    "the password changed without being reported", values.newPassword);
    }

    const bool messageStored = OptionsModel::blockMessageRefusal(values.blockMessage).isEmpty();
    if (messageStored)
        checkSettingsMessage(values);
    else
        fuzz::check(storedText(QStringLiteral("SELECT AppBlockerMessage FROM Settings_Table")) ==
                        Schema::factoryBlockMessage(),
                    "a refused block message was stored", values.blockMessage);
    return 0;
}
