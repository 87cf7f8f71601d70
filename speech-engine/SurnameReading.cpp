#include "SurnameReading.h"

namespace voxling {
namespace {

struct Pair {
    char16_t surname;
    char16_t readAs;
};

// Searched in this order; the first match wins.
constexpr Pair kSurnames[] = {
    {u'朴', u'瓢'}, {u'贲', u'笨'}, {u'秘', u'必'}, {u'曾', u'增'}, {u'单', u'讪'}, {u'种', u'虫'},
    {u'仇', u'求'}, {u'啜', u'踹'}, {u'翟', u'宅'}, {u'铫', u'摇'}, {u'都', u'督'}, {u'佴', u'奈'},
    {u'繁', u'婆'}, {u'盖', u'舸'}, {u'艮', u'亘'}, {u'贾', u'甲'}, {u'观', u'贯'}, {u'炔', u'柜'},
    {u'过', u'郭'}, {u'哈', u'蛤'}, {u'还', u'环'}, {u'纪', u'挤'}, {u'祭', u'债'}, {u'监', u'见'},
    {u'降', u'匠'}, {u'角', u'决'}, {u'颉', u'协'}, {u'解', u'泄'}, {u'俱', u'拘'}, {u'瞿', u'渠'},
    {u'圈', u'倦'}, {u'乐', u'月'}, {u'蒙', u'萌'}, {u'缪', u'妙'}, {u'乜', u'涅'}, {u'宁', u'佞'},
    {u'覃', u'秦'}, {u'阙', u'缺'}, {u'任', u'人'}, {u'撒', u'靸'}, {u'少', u'哨'}, {u'召', u'哨'},
    {u'莘', u'申'}, {u'帖', u'贴'}, {u'洗', u'显'}, {u'兴', u'星'}, {u'燕', u'咽'}, {u'要', u'妖'},
    {u'应', u'英'}, {u'员', u'运'}, {u'载', u'再'}, {u'占', u'沾'}, {u'訾', u'姿'},
};
static_assert(sizeof(kSurnames) / sizeof(kSurnames[0]) == 53);

} // namespace

char16_t SurnameReading(char16_t c) {
    for (const Pair& p : kSurnames)
        if (p.surname == c) return p.readAs;
    return c;
}

} // namespace voxling
