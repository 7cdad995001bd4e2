// Minimal memory archives for the value types' records.
#include "V_ASArchive.h"
#include "V_String.h"

#include <cstring>

V_ASArchiveOut::V_ASArchiveOut(void* buffer, unsigned long size)
    : m_buffer(static_cast<unsigned char*>(buffer)), m_size(buffer ? size : 0), m_position(0)
{
}

void V_ASArchiveOut::reserve(unsigned long count) const
{
    if (count > m_size - m_position) throw VSYST_XRange();
}

unsigned char* V_ASArchiveOut::claim(unsigned long count)
{
    reserve(count);
    unsigned char* p = m_buffer + m_position;
    m_position += count;
    return p;
}

void V_ASArchiveOut::write(const void* data, unsigned long count)
{
    unsigned char* p = claim(count);
    if (count) std::memcpy(p, data, count);
}

void V_ASArchiveOut::writeByte(unsigned char value) { write(&value, 1); }

void V_ASArchiveOut::writeUInt16(unsigned short value)
{
    unsigned char b[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
    write(b, 2);
}

void V_ASArchiveOut::writeUInt32(unsigned long value)
{
    unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                          static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    write(b, 4);
}

void V_ASArchiveOut::writeZeros(unsigned long count)
{
    unsigned char* p = claim(count);
    if (count) std::memset(p, 0, count);
}

V_ASArchiveIn::V_ASArchiveIn(const void* buffer, unsigned long size)
    : m_buffer(static_cast<const unsigned char*>(buffer)), m_size(buffer ? size : 0), m_position(0)
{
}

void V_ASArchiveIn::require(unsigned long count) const
{
    if (count > m_size - m_position) throw VSYST_XRange();
}

void V_ASArchiveIn::read(void* data, unsigned long count)
{
    require(count);
    if (count) std::memcpy(data, m_buffer + m_position, count);
    m_position += count;
}

const unsigned char* V_ASArchiveIn::take(unsigned long count)
{
    require(count);
    const unsigned char* p = m_buffer + m_position;
    m_position += count;
    return p;
}

unsigned char V_ASArchiveIn::readByte() { return *take(1); }

unsigned short V_ASArchiveIn::readUInt16()
{
    const unsigned char* b = take(2);
    return static_cast<unsigned short>(b[0] | (b[1] << 8));
}

unsigned long V_ASArchiveIn::readUInt32()
{
    const unsigned char* b = take(4);
    return static_cast<unsigned long>(b[0]) | (static_cast<unsigned long>(b[1]) << 8) |
           (static_cast<unsigned long>(b[2]) << 16) | (static_cast<unsigned long>(b[3]) << 24);
}

void V_ASArchiveIn::skip(unsigned long count) { take(count); }
