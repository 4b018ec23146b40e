#pragma once

#include <QIcon>
#include <QObject>

#include <functional>
#include <vector>

class TIcon;
class TCustomImageList;

// A registration with an image list: OnChange runs whenever the list changes. The list tells
// its links when it goes, so a link never calls into a list that is gone.
class TChangeLink {
public:
    TChangeLink() = default;
    ~TChangeLink();
    TChangeLink(const TChangeLink&) = delete;
    TChangeLink& operator=(const TChangeLink&) = delete;

    TCustomImageList* Sender() const { return FSender; }
    std::function<void(QObject* sender)> OnChange;

private:
    friend class TCustomImageList;
    TCustomImageList* FSender = nullptr;
};

// A numbered list of pictures of one size.
class TCustomImageList : public QObject {
public:
    explicit TCustomImageList(QObject* owner = nullptr);
    ~TCustomImageList() override;

    int Count() const { return static_cast<int>(FPictures.size()); }
    int Add(const QIcon& picture);
    void Clear();
    // Copies picture number index into the icon; an index outside the list leaves it empty.
    void GetIcon(int index, TIcon& icon) const;

    void RegisterChanges(TChangeLink* link);
    void UnRegisterChanges(TChangeLink* link);

private:
    void Change();

    std::vector<QIcon> FPictures;
    std::vector<TChangeLink*> FLinks;
};
