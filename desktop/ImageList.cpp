#include "desktop/ImageList.h"

#include "desktop/Icon.h"

#include <algorithm>

TChangeLink::~TChangeLink()
{
    if (FSender)
        FSender->UnRegisterChanges(this);
}

TCustomImageList::TCustomImageList(QObject* owner)
    : QObject(owner)
{
}

TCustomImageList::~TCustomImageList()
{
    for (TChangeLink* link : FLinks)
        link->FSender = nullptr;
}

int TCustomImageList::Add(const QIcon& picture)
{
    FPictures.push_back(picture);
    Change();
    return Count() - 1;
}

void TCustomImageList::Clear()
{
    FPictures.clear();
    Change();
}

void TCustomImageList::GetIcon(int index, TIcon& icon) const
{
    if (index >= 0 && index < Count())
        icon.SetPicture(FPictures[static_cast<size_t>(index)]);
}

void TCustomImageList::RegisterChanges(TChangeLink* link)
{
    if (link->FSender)
        link->FSender->UnRegisterChanges(link);
    link->FSender = this;
    FLinks.push_back(link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* link)
{
    std::erase(FLinks, link);
    if (link->FSender == this)
        link->FSender = nullptr;
}

void TCustomImageList::Change()
{
    // A handler may register or unregister links, so it walks a copy.
    const std::vector<TChangeLink*> links = FLinks;
    for (TChangeLink* link : links)
        if (std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end() && link->OnChange)
            link->OnChange(this);
}
