#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// A list of captions, each carrying an object the list owns (the ripper's drives and tracks).
template <class T> class TOwnedStringList
{
public:
    int Count() const { return int(m_items.size()); }
    bool isEmpty() const { return m_items.empty(); }
    const QString &caption(int i) const { return m_items.at(size_t(i)).caption; }
    T *object(int i) const { return m_items.at(size_t(i)).object.get(); }
    void add(const QString &caption, std::unique_ptr<T> object)
    {
        m_items.push_back({caption, std::move(object)});
    }
    void clear() { m_items.clear(); }
    QStringList captions() const;

private:
    struct Item {
        QString caption;
        std::unique_ptr<T> object;
    };
    std::vector<Item> m_items;
};

template <class T> QStringList TOwnedStringList<T>::captions() const
{
    QStringList list;
    for (const Item &item : m_items)
        list << item.caption;
    return list;
}
