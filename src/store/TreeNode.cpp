#include "TreeNode.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <sys/mman.h>

namespace
{

// A load makes a node for every disc of the catalogue, tens of thousands at once. From the
// general heap each was an allocation of its own, and every few nodes a fresh page, whose
// first touch is a fault that costs more than the node's whole reading. The pool hands them
// out of large blocks instead, which the system may back with huge pages: a large load
// touches a few dozen pages, not thousands, and a tree's nodes lie together for every walk
// over it. Freed nodes are kept for the next ones; the blocks go back when no node is left.
class NodePool
{
public:
    void *allocate()
    {
        const std::lock_guard lock(m_mutex);
        ++m_live;
        if (m_free) {
            FreeSlot *slot = m_free;
            m_free = slot->next;
            return slot;
        }
        if (m_next == m_end)
            grow();
        void *p = m_next;
        m_next += kSlot;
        return p;
    }

    void release(void *p) noexcept
    {
        const std::lock_guard lock(m_mutex);
        auto *slot = static_cast<FreeSlot *>(p);
        slot->next = m_free;
        m_free = slot;
        if (--m_live == 0)
            returnBlocks();
    }

private:
    struct FreeSlot {
        FreeSlot *next;
    };
    static constexpr std::size_t kSlot = (sizeof(TreeNode) + alignof(std::max_align_t) - 1) &
                                         ~(alignof(std::max_align_t) - 1);
    static constexpr std::size_t kHugePage = std::size_t(2) << 20;
    // A small catalogue stays within the first block; the rest are whole huge pages.
    static constexpr std::size_t kFirstBlock = std::size_t(128) << 10;

    void grow()
    {
        const bool huge = !m_blocks.empty();
        const std::size_t size = huge ? kHugePage : kFirstBlock;
        // A huge block is mapped with room to spare and used from the first huge page boundary,
        // which is where the system can give it a huge page. The spare part stays mapped and
        // untouched, so it costs no memory, and no unmapping interrupts the other threads.
        const std::size_t span = huge ? 2 * kHugePage : size;
        void *mapped = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        char *block = static_cast<char *>(mapped);
        if (huge) {
            const auto address = reinterpret_cast<std::uintptr_t>(mapped);
            block = reinterpret_cast<char *>((address + kHugePage - 1) & ~(kHugePage - 1));
            ::madvise(block, size, MADV_HUGEPAGE); // only advice: without it the block still works
        }
        m_blocks.push_back({static_cast<char *>(mapped), span});
        m_next = block;
        m_end = block + size / kSlot * kSlot;
    }

    void returnBlocks() noexcept
    {
        for (const Block &b : m_blocks)
            ::munmap(b.start, b.size);
        m_blocks.clear();
        m_free = nullptr;
        m_next = m_end = nullptr;
    }

    struct Block {
        char *start;
        std::size_t size;
    };
    std::mutex m_mutex;
    FreeSlot *m_free = nullptr;
    char *m_next = nullptr;
    char *m_end = nullptr;
    std::size_t m_live = 0;
    std::vector<Block> m_blocks;
};

// Never destroyed: nodes of static trees may outlive any ordinary static object.
NodePool &pool()
{
    static NodePool *const instance = new NodePool;
    return *instance;
}

} // namespace

void *TreeNode::operator new(std::size_t size)
{
    if (size != sizeof(TreeNode))
        return ::operator new(size);
    return pool().allocate();
}

void TreeNode::operator delete(void *p, std::size_t size) noexcept
{
    if (!p)
        return;
    if (size != sizeof(TreeNode)) {
        ::operator delete(p);
        return;
    }
    pool().release(p);
}

int TreeNode::level() const
{
    int l = -1;
    for (const TreeNode *n = m_parent; n; n = n->m_parent)
        ++l;
    return l;
}

bool TreeNode::isInside(const TreeNode *other) const
{
    for (const TreeNode *n = this; n; n = n->m_parent)
        if (n == other)
            return true;
    return false;
}
