#pragma once
// The general search tree that word, cluster, collocate and key-word trees
// derive from.
//
// A derived tree gives its key type and may override the comparison and the
// four hooks: Do_Found_Match (an equal key was already there), Do_Added_One
// (a new key went in), Do_In_Order (one key of an in-order walk) and
// Do_Deleting (one key as the tree is freed). Keys are added through the seed:
// fill Seed(), then Add_One().
//
// The tree is a red-black tree, so sorted input (word lists read back in
// alphabetical order, say) keeps it shallow: at most 2*log2(n+1) levels.
// Nothing here recurses: walks follow parent links, freeing walks the node
// blocks. Nodes come from blocks the tree owns (one allocation per block, no
// per-node allocation or free), which matters for the word tree that takes
// tens of millions of inserts per job.
//
// A tree whose keys can be hashed (words) may also give Hash and call
// UseHashIndex in its constructor: a key seen before is then found through a
// hash index in one or two probes instead of a walk down the tree, which is
// most of the work when counting the words of a text (most tokens repeat a
// type already there). Equal keys must have equal hashes. The tree still
// gives the order.
//
// Do_Deleting is virtual, and C++ does not call a derived override from the
// base destructor: derived trees that need it call Free() in their own
// destructor. Keys' own destructors always run.

#include <algorithm>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace cv {

template <typename TKey>
class TGeneral_Tree {
public:
    // A plain comparison: negative, zero or positive.
    using TCompareFunc = int (*)(const TKey& a, const TKey& b);

    explicit TGeneral_Tree(TCompareFunc compare = nullptr) : fCompare(compare) {}
    virtual ~TGeneral_Tree() { ReleaseNodes(); }
    TGeneral_Tree(const TGeneral_Tree&) = delete;
    TGeneral_Tree& operator=(const TGeneral_Tree&) = delete;

    // The key to be added next.
    TKey& Seed() { return fSeed; }
    // Adds the seed. When an equal key is there, Do_Found_Match(existing, seed)
    // runs and the result is false (the seed is reset for the next key);
    // otherwise the seed goes into the tree, Do_Added_One runs and the result is true.
    bool Add_One();
    bool Add(TKey key)
    {
        fSeed = std::move(key);
        return Add_One();
    }
    // The stored key equal to `key`, or null.
    TKey* Find(const TKey& key);
    const TKey* Find(const TKey& key) const { return const_cast<TGeneral_Tree*>(this)->Find(key); }

    // Walks the keys in order, calling Do_In_Order for each.
    void Traverse();
    // The same walk with any callable (key&) -> void.
    template <typename F>
    void ForEachInOrder(F&& visit);

    // Calls Do_Deleting for every key in order, then empties the tree.
    void Free();

    int64_t Count() const { return fCount; }
    bool Empty() const { return fCount == 0; }
    // Levels on the longest path from the root (0 for an empty tree).
    int Depth() const;

    void SetTreeUnicode(bool on) { fTreeUnicode = on; }
    bool TreeUnicode() const { return fTreeUnicode; }

protected:
    virtual int Compare(const TKey& a, const TKey& b) const
    {
        if (fCompare)
            return fCompare(a, b);
        if constexpr (std::three_way_comparable<TKey>) {
            const auto c = a <=> b;
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        } else if constexpr (requires { a < b; }) {
            return a < b ? -1 : (b < a ? 1 : 0);
        } else {
            // Keys without an order of their own: the derived tree compares them.
            static_assert(std::is_class_v<TKey>, "give the tree a comparison");
            return 0;
        }
    }
    virtual void Do_Found_Match(TKey& existing, TKey& seed) {}
    virtual void Do_Added_One(TKey& added) {}
    virtual void Do_In_Order(TKey& key) {}
    virtual void Do_Deleting(TKey& key) {}
    // Only asked once UseHashIndex was called.
    virtual uint64_t Hash(const TKey& key) const { return 0; }
    void UseHashIndex() { fHashIndex = true; }

private:
    struct Node {
        Node* child[2] = {nullptr, nullptr}; // left, right
        Node* parent = nullptr;
        bool red = true;
        TKey key;
        explicit Node(TKey&& k) : key(std::move(k)) {}
    };
    struct Block {
        Node* nodes;
        std::size_t capacity;
        std::size_t used;
    };

    struct Slot {
        uint64_t hash;
        Node* node; // null: free
    };
    Node* NewNode(TKey&& key);
    Node* FindHashed(const TKey& key, uint64_t hash) const;
    void IndexNode(Node* n, uint64_t hash);
    void GrowIndex();
    void ReleaseNodes();
    void Rotate(Node* x, int dir);
    void FixAfterInsert(Node* z);
    static Node* Leftmost(Node* n)
    {
        while (n && n->child[0])
            n = n->child[0];
        return n;
    }
    static Node* Successor(Node* n)
    {
        if (n->child[1])
            return Leftmost(n->child[1]);
        Node* p = n->parent;
        while (p && n == p->child[1]) {
            n = p;
            p = p->parent;
        }
        return p;
    }

    TCompareFunc fCompare;
    TKey fSeed{};
    Node* fRoot = nullptr;
    int64_t fCount = 0;
    bool fTreeUnicode = true;
    std::vector<Block> fBlocks;
    bool fHashIndex = false;
    std::vector<Slot> fSlots; // open addressing, at most half full
};

// ---------------------------------------------------------------------------

template <typename TKey>
typename TGeneral_Tree<TKey>::Node* TGeneral_Tree<TKey>::NewNode(TKey&& key)
{
    if (fBlocks.empty() || fBlocks.back().used == fBlocks.back().capacity) {
        // Blocks grow from 256 nodes to 64K nodes, so small trees stay small.
        const std::size_t cap = fBlocks.empty() ? 256 : std::min<std::size_t>(fBlocks.back().capacity * 2, 65536);
        fBlocks.push_back({std::allocator<Node>().allocate(cap), cap, 0});
    }
    Block& b = fBlocks.back();
    Node* n = ::new (static_cast<void*>(b.nodes + b.used)) Node(std::move(key));
    ++b.used;
    return n;
}

template <typename TKey>
void TGeneral_Tree<TKey>::ReleaseNodes()
{
    for (Block& b : fBlocks) {
        for (std::size_t i = 0; i < b.used; ++i)
            b.nodes[i].~Node();
        std::allocator<Node>().deallocate(b.nodes, b.capacity);
    }
    fBlocks.clear();
    fSlots.clear();
    fRoot = nullptr;
    fCount = 0;
}

template <typename TKey>
typename TGeneral_Tree<TKey>::Node* TGeneral_Tree<TKey>::FindHashed(const TKey& key, uint64_t hash) const
{
    if (fSlots.empty())
        return nullptr;
    const std::size_t mask = fSlots.size() - 1;
    for (std::size_t i = std::size_t(hash) & mask;; i = (i + 1) & mask) {
        const Slot& s = fSlots[i];
        if (!s.node)
            return nullptr;
        if (s.hash == hash && Compare(key, s.node->key) == 0)
            return s.node;
    }
}

template <typename TKey>
void TGeneral_Tree<TKey>::IndexNode(Node* n, uint64_t hash)
{
    if ((fCount + 1) * 2 > int64_t(fSlots.size()))
        GrowIndex();
    const std::size_t mask = fSlots.size() - 1;
    std::size_t i = std::size_t(hash) & mask;
    while (fSlots[i].node)
        i = (i + 1) & mask;
    fSlots[i] = {hash, n};
}

template <typename TKey>
void TGeneral_Tree<TKey>::GrowIndex()
{
    std::vector<Slot> old = std::move(fSlots);
    fSlots.assign(std::max<std::size_t>(1024, old.size() * 2), Slot{0, nullptr});
    const std::size_t mask = fSlots.size() - 1;
    for (const Slot& s : old) {
        if (!s.node)
            continue;
        std::size_t i = std::size_t(s.hash) & mask;
        while (fSlots[i].node)
            i = (i + 1) & mask;
        fSlots[i] = s;
    }
}

template <typename TKey>
void TGeneral_Tree<TKey>::Free()
{
    ForEachInOrder([this](TKey& k) { Do_Deleting(k); });
    ReleaseNodes();
}

template <typename TKey>
bool TGeneral_Tree<TKey>::Add_One()
{
    uint64_t hash = 0;
    if (fHashIndex) {
        hash = Hash(fSeed);
        if (Node* found = FindHashed(fSeed, hash)) {
            Do_Found_Match(found->key, fSeed);
            fSeed = TKey{};
            return false;
        }
    }
    Node* parent = nullptr;
    Node* cur = fRoot;
    int c = 0;
    while (cur) {
        c = Compare(fSeed, cur->key);
        if (c == 0) {
            Do_Found_Match(cur->key, fSeed);
            fSeed = TKey{};
            return false;
        }
        parent = cur;
        cur = cur->child[c > 0];
    }
    Node* z = NewNode(std::move(fSeed));
    fSeed = TKey{};
    z->parent = parent;
    if (!parent)
        fRoot = z;
    else
        parent->child[c > 0] = z;
    if (fHashIndex)
        IndexNode(z, hash);
    ++fCount;
    FixAfterInsert(z);
    Do_Added_One(z->key);
    return true;
}

template <typename TKey>
TKey* TGeneral_Tree<TKey>::Find(const TKey& key)
{
    if (fHashIndex) {
        Node* n = FindHashed(key, Hash(key));
        return n ? &n->key : nullptr;
    }
    Node* cur = fRoot;
    while (cur) {
        const int c = Compare(key, cur->key);
        if (c == 0)
            return &cur->key;
        cur = cur->child[c > 0];
    }
    return nullptr;
}

template <typename TKey>
template <typename F>
void TGeneral_Tree<TKey>::ForEachInOrder(F&& visit)
{
    for (Node* n = Leftmost(fRoot); n; n = Successor(n))
        visit(n->key);
}

template <typename TKey>
void TGeneral_Tree<TKey>::Traverse()
{
    ForEachInOrder([this](TKey& k) { Do_In_Order(k); });
}

template <typename TKey>
int TGeneral_Tree<TKey>::Depth() const
{
    int deepest = 0;
    std::vector<std::pair<const Node*, int>> stack;
    if (fRoot)
        stack.emplace_back(fRoot, 1);
    while (!stack.empty()) {
        auto [n, d] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, d);
        for (const Node* c : n->child)
            if (c)
                stack.emplace_back(c, d + 1);
    }
    return deepest;
}

// Turns x down to side `dir` (0 left, 1 right); its child on the other side takes its place.
template <typename TKey>
void TGeneral_Tree<TKey>::Rotate(Node* x, int dir)
{
    Node* y = x->child[1 - dir];
    x->child[1 - dir] = y->child[dir];
    if (y->child[dir])
        y->child[dir]->parent = x;
    y->parent = x->parent;
    if (!x->parent)
        fRoot = y;
    else
        x->parent->child[x == x->parent->child[1]] = y;
    y->child[dir] = x;
    x->parent = y;
}

template <typename TKey>
void TGeneral_Tree<TKey>::FixAfterInsert(Node* z)
{
    while (z->parent && z->parent->red) {
        Node* p = z->parent;
        Node* g = p->parent; // exists: a red node is never the root
        const int side = p == g->child[1]; // the side p hangs on
        Node* u = g->child[1 - side];
        if (u && u->red) {
            p->red = false;
            u->red = false;
            g->red = true;
            z = g;
            continue;
        }
        if (z == p->child[1 - side]) {
            z = p;
            Rotate(z, side);
            p = z->parent;
        }
        p->red = false;
        g->red = true;
        Rotate(g, 1 - side);
    }
    fRoot->red = false;
}

} // namespace cv
