#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// What every fuzz target shares: the Qt application, the reading of the fuzz input and the check that
// stops the run on a broken invariant (libFuzzer then keeps the input as a crash).
namespace fuzz {

// The database driver and the sockets need an application object; call once from LLVMFuzzerInitialize.
void startApplication(int* argc, char*** argv);

[[noreturn]] void fail(const char* what, const QString& detail);
inline void check(bool ok, const char* what, const QString& detail = {}) {
    if (!ok)
        fail(what, detail);
}

// Reads the fuzz input front to back; past its end every read gives zeros or empty texts.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size) {}

    bool atEnd() const { return m_pos >= m_size; }
    std::uint8_t byte();
    // Two bytes, high one first.
    std::uint16_t word();
    int number(int below) { return below <= 0 ? 0 : byte() % below; }
    bool flag() { return (byte() & 1) != 0; }
    // A length byte, then that many bytes.
    QByteArray chunk();
    // A chunk read as UTF-8, as widgets hand over typed text: always valid Unicode.
    QString typedText() { return QString::fromUtf8(chunk()); }
    QByteArray rest();

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// The text with invisible characters written as \uXXXX, for failure messages.
QString visible(const QString& text);

} // namespace fuzz
