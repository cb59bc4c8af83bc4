// img: swappable parts of overlaid entities and the process-wide,
// byte-limited least-recently-used list that loads and evicts them.
#pragma once

#include <cstdint>

namespace img {

// Anything whose data is cut into swappable parts. No data, no virtual operations.
class IOverlaidEntity {
  public:
    class IEntityPart;
    class IEntityPartList;
};

// One swappable part: a buffer of a fixed byte size that is either loaded
// (m_pData set, linked in its list) or unloaded (m_pData null, not linked).
//
// Slots, in this order: 0 the virtual destructor, Alloc, Dealloc, Attach,
// Detach, Load, Save.
// Owns: its buffer while loaded. Buffers are allocated with
// new unsigned char[m_nSize] and freed with delete[] (overriders of Alloc and
// Dealloc keep to that): buffers move between parts of equal size through
// Detach and Attach, and the destructor frees a loaded part's buffer.
// Pins: m_nLock counts the operations using the part now; a part with a
// non-zero lock count is never evicted.
// Persistence: Save writes the bytes to the list's swap file; Load reads them
// back, or zeros the buffer when the part was never saved.
// Failure: Save and Load throw std::system_error when the swap file cannot be
// written or read; the part keeps its buffer and its list is unchanged.
// Destruction: a loaded part is unlinked from its list and its buffer freed;
// its place in the swap file is given back.
// Threads: as its list.
class IOverlaidEntity::IEntityPart {
  public:
    // Starts unloaded: no data, lock count 0, not linked.
    IEntityPart(IOverlaidEntity* entity, IEntityPartList* list, unsigned size);
    virtual ~IEntityPart();
    IEntityPart(const IEntityPart&) = delete;
    IEntityPart& operator=(const IEntityPart&) = delete;

  protected:
    // Gives the part a new buffer of m_nSize bytes (not initialised).
    virtual void Alloc();
    // Frees the buffer and clears m_pData.
    virtual void Dealloc();

  public:
    // Makes buffer (m_nSize bytes, from new unsigned char[]) the part's data.
    virtual void Attach(void* buffer);
    // Takes the buffer away from the part and returns it; m_pData becomes null.
    virtual void* Detach();
    // Fills the buffer with the bytes last saved, or zeros if never saved.
    virtual void Load();
    // Keeps the buffer's bytes in the list's swap file.
    virtual void Save();

    bool IsLoaded() const { return m_pData != nullptr; }

    // State that the entity's own code reads and writes directly.
    IOverlaidEntity* m_pEntity;  // the owner, or null
    IEntityPartList* m_pList;    // the list that loads and evicts the part
    void* m_pData;               // the buffer, null while unloaded
    unsigned m_nSize;            // byte size of the buffer
    std::int32_t m_nLock;        // operations using the part now
    IEntityPart* m_pNext;        // towards the most recently used end
    IEntityPart* m_pPrev;        // towards the least recently used end

  private:
    friend class IOverlaidEntity::IEntityPartList;
    long long m_nSwapOffset;  // where Save put the bytes, or -1
};

// The least-recently-used list of loaded parts, under one byte limit.
//
// Owns: its swap file (created in the temporary directory on the first Save
// and deleted at once, so it never outlives the process), and nothing else:
// the parts belong to their entities.
// Links: m_pHead is the least recently used loaded part, m_pTail the most
// recently used; only loaded parts are linked. m_nLoaded counts them and
// m_nUsed sums their sizes. The limit is soft: a part is loaded even when
// everything else is locked.
// Threads: none and no locks; the list and every part in it are used by one
// thread at a time.
class IOverlaidEntity::IEntityPartList {
  public:
    explicit IEntityPartList(unsigned byteLimit);
    virtual ~IEntityPartList();
    IEntityPartList(const IEntityPartList&) = delete;
    IEntityPartList& operator=(const IEntityPartList&) = delete;

    // Saves and unloads every unlocked loaded part of entity.
    virtual void Flush(IOverlaidEntity* entity);
    // Saves and unloads every unlocked loaded part.
    void FlushAll();

    // The use protocol. UsePart pins the part (lock count + 1); if it is not
    // loaded, evicts unlocked parts from the least recently used end (Save,
    // then the first buffer of equal size is handed over through Detach and
    // Attach, the others freed by Dealloc) until the bytes in use fall below
    // the limit, gives the part a buffer, links it at the tail and calls Load;
    // if it is loaded, moves it to the tail. Returns the part's data.
    // ReleasePart drops the pin. Every UsePart is balanced by one ReleasePart.
    void* UsePart(IEntityPart* part);
    static void ReleasePart(IEntityPart* part) { --part->m_nLock; }

    unsigned GetByteLimit() const { return m_nLimit; }
    void SetByteLimit(unsigned bytes) { m_nLimit = bytes; }
    unsigned GetBytesInUse() const { return m_nUsed; }
    unsigned GetLoadedCount() const { return m_nLoaded; }

    // State that the use protocol reads and writes directly.
    IEntityPart* m_pHead;  // least recently used loaded part
    IEntityPart* m_pTail;  // most recently used loaded part
    unsigned m_nLoaded;    // loaded parts
    unsigned m_nLimit;     // byte limit
    unsigned m_nUsed;      // bytes in use by loaded parts

  protected:
    friend class IOverlaidEntity::IEntityPart;

    // Unlinks a part that was just saved and gave up its buffer, reduces the
    // loaded count and bytes in use, clears its links and returns its former
    // successor.
    IEntityPart* HandlePartFlush(IEntityPart* part);

    // Swap file, used by IEntityPart::Save, Load and its destructor.
    void swapWrite(IEntityPart* part);
    void swapRead(IEntityPart* part);
    void swapRelease(IEntityPart* part);

  private:
    void unloadPart(IEntityPart* part);
    void linkAtTail(IEntityPart* part);

    class SwapFile;
    SwapFile* m_pSwap;
};

// A part-list RAII pin: uses the part for the lifetime of the object.
class CPartUse {
  public:
    explicit CPartUse(IOverlaidEntity::IEntityPart* part)
        : m_part(part), m_data(static_cast<unsigned char*>(part->m_pList->UsePart(part))) {}
    ~CPartUse() { IOverlaidEntity::IEntityPartList::ReleasePart(m_part); }
    CPartUse(const CPartUse&) = delete;
    CPartUse& operator=(const CPartUse&) = delete;
    unsigned char* data() const { return m_data; }

  private:
    IOverlaidEntity::IEntityPart* m_part;
    unsigned char* m_data;
};

// The one part list of the process, shared by all overlaid images.
//
// ReserveInstance creates it on first use (limit GetDefaultByteLimit(),
// kDefaultByteLimit unless changed) and counts reservations; the list stays
// valid until the matching ReleaseInstance, and the last release destroys it
// (every part must be gone by then). From the first list on, large buffers are
// really returned to the system when freed: on glibc the mmap threshold is
// pinned so that it cannot rise after a large free.
// Threads: reservations and the list are used by one thread at a time.
class COverlaidImagePartList : public IOverlaidEntity::IEntityPartList {
  public:
    // 64 MiB: room for 256 grey or 85 colour tiles of 512 x 512.
    static constexpr unsigned kDefaultByteLimit = 64u << 20;

    static COverlaidImagePartList* ReserveInstance();
    static void ReleaseInstance();
    // Reservations held now (0 when no list exists).
    static unsigned GetReservationCount();
    // The limit of the live list and of every list created later.
    static void SetDefaultByteLimit(unsigned bytes);
    static unsigned GetDefaultByteLimit();

  private:
    explicit COverlaidImagePartList(unsigned byteLimit);
    ~COverlaidImagePartList() override;
};

}  // namespace img
