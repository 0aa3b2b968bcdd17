// URLs and program names as the administrator types them: checked, stored in the catalogue, put on a
// group's list and sent in the "P" or "B" message. Whatever is accepted must come out of the database
// and off the wire exactly as stored; whatever is refused must leave the database as it was.

#include "FuzzSupport.h"
#include "TempDatabase.h"
#include "core/lists/GroupProgramList.h"
#include "core/lists/GroupUrlList.h"
#include "core/lists/ProgramCatalogue.h"
#include "core/lists/ProgramListPayload.h"
#include "core/lists/UrlCatalogue.h"
#include "core/lists/UrlListPayload.h"
#include "core/protocol/SendableText.h"
#include "protocol/Fields.h"
#include "protocol/ListOrders.h"
#include "protocol/WireCodec.h"

#include <memory>

using namespace kestrava;

namespace {

const QString kGroupKey = QStringLiteral("g\u00c7LAB");

TempDatabase* temp = nullptr;

int catalogueSize(bool urls) {
    return temp->db()
        .scalar(urls ? QStringLiteral("SELECT count(*) FROM DNS_Lookup_Table")
                     : QStringLiteral("SELECT count(*) FROM Program_Table"))
        .toInt();
}

// The message as a client service reads it: Windows-1252 bytes back to text, then its counted items.
QStringList received(const QString& message) {
    const QString read = WireCodec::decodeSingleByte(WireCodec::encode(message));
    return decodeList(read).value.value_or(QStringList());
}

void tryText(const QString& typed, bool urls) {
    Database& db = temp->db();
    std::unique_ptr<Catalogue> catalogue;
    if (urls)
        catalogue = std::make_unique<UrlCatalogue>(db);
    else
        catalogue = std::make_unique<ProgramCatalogue>(db);
    catalogue->load();
    const int before = catalogue->count();
    const Catalogue::AddResult result = catalogue->add(typed);
    const int stored = catalogueSize(urls);
    if (result.outcome != Catalogue::AddOutcome::Added) {
        fuzz::check(stored == before, "a refused entry changed the catalogue", typed);
        return;
    }
    fuzz::check(stored == before + 1, "an accepted entry was not stored once", typed);
    const QString entry = catalogue->entries().constLast();
    fuzz::check(SendableText::firstUnsendable(entry) < 0, "an accepted entry cannot travel", entry);
    fuzz::check(!entry.contains(kFieldSeparator), "an accepted entry holds the separator", entry);

    std::unique_ptr<Catalogue> reloaded;
    if (urls)
        reloaded = std::make_unique<UrlCatalogue>(db);
    else
        reloaded = std::make_unique<ProgramCatalogue>(db);
    reloaded->load();
    fuzz::check(reloaded->entries() == catalogue->entries(), "the catalogue reads back otherwise", entry);
    fuzz::check(catalogue->add(typed).outcome != Catalogue::AddOutcome::Added,
                "the same entry was added twice", typed);

    std::unique_ptr<GroupList> list;
    if (urls)
        list = std::make_unique<GroupUrlList>(db);
    else
        list = std::make_unique<GroupProgramList>(db);
    list->setGroupKey(kGroupKey);
    list->load();
    const int row = static_cast<int>(list->available().indexOf(entry));
    fuzz::check(row >= 0, "an accepted entry is not offered for the group's list", entry);
    const QStringList listedBefore = list->listed();
    list->moveTo({row});
    fuzz::check(list->listed() == listedBefore + QStringList{entry}, "the entry did not move onto the list",
                entry);

    const QString message = urls ? encodeWhiteList(Get_URL_List(db, kGroupKey))
                                 : encodeBlockList(Get_Program_List(db, kGroupKey));
    fuzz::check(received(message) == list->listed(), "the client service reads another list",
                message + QStringLiteral(" / ") + list->listed().join(QLatin1Char('|')));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startApplication(argc, argv);
    static TempDatabase instance;
    temp = &instance;
    temp->db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key,Group_Name) VALUES(?,?)"),
                    {kGroupKey, QStringLiteral("Lab")});
    return 0;
}

// Input: a byte choosing URLs or programs, then up to four typed texts.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    Database& db = temp->db();
    db.exec(QStringLiteral("DELETE FROM DNS_Lookup_Table"));
    db.exec(QStringLiteral("DELETE FROM Group_URL_Table"));
    db.exec(QStringLiteral("DELETE FROM Program_Table"));
    db.exec(QStringLiteral("DELETE FROM Group_Program_Table"));
    const bool urls = input.flag();
    for (int i = 0; i < 4 && !input.atEnd(); ++i)
        tryText(input.typedText(), urls);
    return 0;
}
