#include "tools/qlimagegen/module_texts.h"

namespace ql::imagegen {
namespace {

// Hosts of the web addresses are ours to choose; paths and queries are fixed.
#define QL_HELP_THREAD "http://bbs.example.com/bbs/a/a.asp?B=2200&ID=175022"
#define QL_PAGES_HOST "http://qltool.example.net"

constexpr TextDef kTexts[] = {
    // ---- Small pieces shared by every joining of texts
    {"kEmpty", ""},
    {"kCrLf", "\r\n"},
    {"kBackslash", "\\"},
    {"kSpace", " "},
    {"kQuote", "\""},
    {"kDot", "."},
    {"kSlash", "/"},
    {"kUnderscore", "_"},
    {"kCloseBracket", "]"},
    {"kHelpCaption", "帮助"},

    // ---- Game folder, archive tool and texture package
    {"kWinrarRegistryKey", "SOFTWARE\\Classes\\WinRAR\\shell\\open\\command\\"},
    {"kTextureFolderName", "\\lx_ptx_tmp"},
    {"kMemoryFileName", "\\流星目录.txt"},
    {"kNoTextureFolder", "没有找到临时纹理目录，需重新生成，请指出[流星蝴蝶剑]安装目录"},
    {"kExtractPackagePrefix", "将解压包文件["},
    {"kExtractCommand", " e \""},
    {"kQuoteSpaceQuote", "\" \""},
    {"kExtractFailed", "解压数据失败"},
    {"kExtractSucceeded", "解压数据成功"},

    // ---- Model list
    {"kModelFolder", "\\pmodel\\"},
    {"kSkcPattern", "*.skc"},

    // ---- SKC reader
    {"kSkcLoadBanner", "=========开始分析SKC文件========\r\n"},
    {"kSkcHeaderLine", "# Character Skin Export for Interserv"},
    {"kBadModelFile", "错误的模型文件！"},
    {"kMaterialsPattern", "Materials: +([0-9]+)"},
    {"kMaterialCountLog", "材质总数 == ["},
    {"kNoMaterials", "在模型文件中没有找到材质样式"},
    {"kTexturePattern", "Texture +(.+)"},
    {"kTextureLog", "纹理 =  ["},
    {"kVerticesMarker", "  Vertices:"},
    {"kVertexCountPattern", " *Vertices: +([0-9]+)"},
    {"kVertexPattern", " *v +([^ ]+) +([^ ]+) +([^ ]+) +vt +([^ ]+) +([^ ]+) +Bones +(.*)"},
    {"kTrianglesPattern", "Triangles: +([0-9]+)"},
    {"kTriangleCountLog", "三角形总数： ["},
    {"kTriangleBoxPrefix", "k"},
    {"kTrianglePattern", " +f 3 +([0-9]+) +([0-9]+) +([0-9]+) +([0-9]+)"},
    {"kMatchedTrianglesLog", "i2=="},
    {"kLoadedVerticesLog", "载入顶点 ["},
    {"kLoadedVerticesTail", "] 个！ 成功"},

    // ---- SKC writer and save to game
    {"kSkcOpenBrace", "\r\n{\r\n"},
    {"kSkcMaterialsLine", "  Materials: "},
    {"kSkcMaterialLine", "  Material\r\n"},
    {"kSkcTextureLine", "    Texture   "},
    {"kSkcVerticesLine", "  Vertices: "},
    {"kSkcVertexLine", "    v   "},
    {"kSkcVt", " vt "},
    {"kSkcBones", " Bones "},
    {"kSkcTrianglesLine", "  Triangles: "},
    {"kSkcFaceLine", "    f 3 "},
    {"kSkcEnd", "\r\n}"},
    {"kNoOutputData", "没有可输出的数据!"},
    {"kSkcFilter", "流星蝴蝶剑模型格式|*.skc"},
    {"kSkcExported", "已输出SKC文件到 "},
    {"kBakExtension", ".bak"},
    {"kBackupMade", "已备份原始模型文件，即将开始替换。"},
    {"kSavedToGame", "已替换模型到 流星蝴蝶剑 目录下,请运行游戏查看效果。"},
    // Our own: failures the writers report instead of their success message,
    // and the pieces of the checks that keep the game's file safe.
    {"kWriteFailed", "写入文件失败："},
    {"kBackupFailed", "备份原始模型文件失败，模型文件没有被替换："},
    {"kNoGameFolder", "没有设置游戏目录，无法保存到游戏。"},
    {"kNoModelFileName", "没有选择游戏中的模型文件，无法保存到游戏。"},
    {"kBadModelFileName", "模型文件名无效，无法保存到游戏："},
    {"kTmpExtension", ".tmp"},
    {"kColon", ":"},
    {"kDotDot", ".."},
    {"kSkcMissingBones", "0"},

    // ---- OBJ and MTL writer
    {"kObjHeader", "# OBJ File for metor //流星蝴蝶剑格式输出  by vrel "},
    {"kObjCommentLine", "\r\n#"},
    {"kObjMtllib", "\r\nmtllib "},
    {"kMtlExtension", ".mtl"},
    {"kObjObjectLine", "\r\no mesh.obj"},
    {"kObjVertex", "\r\nv "},
    {"kObjTexCoord", "\r\nvt "},
    {"kObjUsemtl", "\r\nusemtl "},
    {"kObjFace", "\r\nf "},
    {"kMaterialNamePrefix", "mat"},
    {"kMtlCountLine", "# Material Count: "},
    {"kMtlNewmtl", "\r\nnewmtl "},
    {"kMtlColourBlock",
     "Ns 96.078431\r\nKa 0.000000 0.000000 0.000000\r\nKd 0.800000 0.800000 0.800000\r\nKs 0.078125 0.078125 0.078125\r\n"},
    {"kMtlSurfaceBlock", "Ni 1.000000\r\nd 1.000000\r\nillum 2\r\n"},
    {"kMtlMapKd", "map_Kd "},
    {"kBonesFile", ".bones"},
    {"kSkcHeadFile", ".skchead"},
    {"kSkcNameFile", ".skcname"},
    {"kObjFilter", "OBJ模型格式|*.obj"},
    {"kExportCancelled", "输入模型失败！"},
    {"kModelExported", "已输出模型: "},
    {"kInvalidModelTables", "模型数据无效，未输出：顶点数或三角形数超出模型表格"},
    {"kInvalidMaterialPrefix", "模型数据无效，未输出：三角形 ["},
    {"kInvalidMaterialNumber", "] 的材质号 ["},
    {"kInvalidMaterialCount", "] 不在材质表中，模型共有材质 "},
    {"kInvalidMaterialEnd", " 个"},

    // ---- OBJ and MTL reader
    {"kKwMtllib", "mtllib"},
    {"kKwV", "v"},
    {"kKwVt", "vt"},
    {"kKwVn", "vn"},
    {"kKwG", "g"},
    {"kKwUsemtl", "usemtl"},
    {"kKwS", "s"},
    {"kKwF", "f"},
    {"kKwComment", "#"},
    {"kKwNewmtl", "newmtl"},
    {"kKwMapKd", "map_Kd"},
    {"kKwKa", "Ka"},
    {"kKwKd", "Kd"},
    {"kKwKs", "Ks"},
    {"kKwNs", "Ns"},
    {"kMaterialLookupFailed", "运行出错！在窗口程序集1_取材质库中材质号()"},
    {"kObjLoadBanner", "=========开始分析OBJ文件========\r\n"},
    {"kBonesProbe", "试图打开OBJ所对应的骨骼文件....    "},
    {"kBonesPath", "\\.bones"},
    {"kSkcHeadPath", "\\.skchead"},
    {"kSkcNamePath", "\\.skcname"},
    {"kBonesLoaded", "加载OBJ所对应的骨骼文件成功！！！...."},
    {"kBonesMissing", "加载OBJ所对应的骨骼文件失败！！！...."},
    {"kObjRejected", "OBJ文件有误，未载入："},
    {"kObjRejectedLine", "\r\n第 "},
    {"kObjRejectedLineEnd", " 行："},
    {"kMtlRejectedLine", "\r\n材质库 "},
    {"kMtlRejectedLineNumber", "，第 "},
    {"kObjNoVertexLines", "文件中没有顶点行 (v)"},
    {"kObjNoFaceLines", "文件中没有面行 (f)"},
    {"kObjShortVertexLine", "顶点行 (v) 少于三个坐标"},
    {"kObjShortTexCoordLine", "纹理坐标行 (vt) 少于两个数"},
    {"kObjShortFace", "面行 (f) 少于三个角"},
    {"kObjCornerWithoutTexCoord", "面的角没有纹理坐标号"},
    {"kObjVertexNumber", "顶点号 ["},
    {"kObjTexCoordNumber", "纹理坐标号 ["},
    {"kObjNumberOutside", "] 不在 1 到 "},
    {"kObjNumberOutsideEnd", " 之间"},
    {"kMtlMapKdBeforeNewmtl", "map_Kd 出现在任何 newmtl 之前"},

    // ---- AC3D writer
    {"kAcTextureLine", "\r\ntexture \""},
    {"kAcTextureEnd", "\"\r\n"},
    {"kAcNumvert", "numvert "},
    {"kAcNumsurf", "numsurf "},
    {"kAcSurf", "SURF 0x00\r\n"},
    {"kAcMat", "mat 0\r\n"},
    {"kAcRefs", "refs 3\r\n"},
    {"kAcKids", "kids 0\r\n"},
    {"kAc3dFilter", "AC3D模型格式|*.ac"},

    // ---- glTF writer
    {"kGltfFilter", "glTF模型格式|*.glb"},
    {"kGltfNotExported", "模型数据无效，未输出："},
    {"kGltfNoVertices", "模型没有顶点"},
    {"kGltfVertex", "顶点 ["},
    {"kGltfPositionNotFinite", "] 的坐标不是有限的数"},
    {"kGltfTexCoordNotFinite", "] 的纹理坐标不是有限的数"},
    {"kGltfVertexIndex", "] 的顶点号 ["},
    {"kGltfVertexIndexOutside", "] 不在顶点表中，模型共有顶点 "},
    {"kGltfTooManyBones", "骨骼编号太多： "},
    {"kGltfTooManyBonesLimit", " 个，glTF 最多可有 "},
    {"kGltfTooLarge", "模型太大，超出 glTF 文件的大小上限"},
    {"kGltfTextureMissing", "纹理文件不存在，未嵌入 ["},
    {"kGltfTextureNotPicture", "纹理文件不是可嵌入的图片，未嵌入 ["},

    // ---- glTF reader
    {"kGltfImportFilter", "glTF模型格式|*.glb;*.gltf"},
    {"kGltfLoadBanner", "=========开始分析glTF文件========\r\n"},
    {"kGltfRejected", "glTF文件有误，未载入："},
    {"kGltfDetailSeparator", "："},
    {"kGltfUnreadable", "文件无法读取"},
    {"kGltfTooShort", "文件太短"},
    {"kGltfNotGltf", "不是 glTF 文件"},
    {"kGltfVersion", "不支持此 GLB 版本"},
    {"kGltfLengthPastFile", "文件头声明的长度超出文件"},
    {"kGltfChunk", "GLB 数据块有误"},
    {"kGltfLibrary", "glTF 库无法读取此文件"},
    {"kGltfBufferViewOutside", "缓冲区视图超出缓冲区"},
    {"kGltfAccessorOutside", "访问器超出缓冲区视图"},
    {"kGltfAccessorKind", "访问器的类型不适用"},
    {"kGltfSparse", "不支持稀疏或无数据的访问器"},
    {"kGltfCountsDiffer", "图元各属性的顶点数不同"},
    {"kGltfNoPosition", "图元没有顶点坐标"},
    {"kGltfNotTriangles", "图元不是三角形（点或线）"},
    {"kGltfIndexOutside", "索引超出图元的顶点"},
    {"kGltfNotFinite", "坐标不是有限的数"},
    {"kGltfBadWeight", "骨骼权重为负数或不是有限的数"},
    {"kGltfJointOutside", "骨骼号超出蒙皮的骨骼"},
    {"kGltfUnknownJoint", "有权重的骨骼节点名称不是 bone_NN"},
    {"kGltfMaterialOutside", "材质号超出材质表"},
    {"kGltfNoTriangles", "文件中没有三角形"},
    {"kGltfImportTooLarge", "模型太大，超出模型表格"},
    {"kGltfBoneTextsKept", "骨骼文本：原样保留 ["},
    {"kGltfBoneTextsRebuilt", "] 个，按权重重建 ["},
    {"kGltfBoneTextsEnd", "] 个"},

    // ---- Texture preparation
    {"kBmpExtension", ".bmp"},
    {"kTga", "tga"},
    {"kBmp", "bmp"},
    {"kTextureOutsideFolder", "纹理文件不在纹理目录中，未载入 ["},
    {"kTextureLoadFailed", "纹理文件载入失败 ["},

    // ---- Help links and update check
    {"kConfirmVersionNotes", "将访问网页[版本说明]，是否打开？"},
    {"kConfirmForumBar", "将访问百度贴吧[天外流星]，是否打开？"},
    {"kConfirmHelpThread", "将打开网页查看是否有更新内容，是否打开？"},
    {"kShellOpen", "open"},
    {"kNewerVersion", "检测到更高版本，是否打开网页查看？"},
    {"kNoUpdate", "没有检测到更新信息！"},
    {"kKwVer", "ver"},
    {"kKwAdd", "add"},
    {"kHttpScheme", "http://"},
    {"kHttpsScheme", "https://"},
    {"kVersionNotesAddress", QL_PAGES_HOST "/qltool_ver"},
    {"kUpdateAddress", QL_PAGES_HOST "/update_qltool.txt"},
    {"kForumBarAddress", "http://tieba.baidu.com/f?kw=%CC%EC%CD%E2%C1%F7%D0%C7"},
    {"kHelpThreadAddress", QL_HELP_THREAD},

    // ---- The DLL command declaration (reached from the header, not from code)
    {"kShell32", "shell32.dll"},
    {"kShellExecuteA", "ShellExecuteA"},
};

constexpr ByteSetDef kByteSets[] = {
    {"kSkcHeaderTemplate", kSkcHeaderTemplate, 110},
    {"kSkcMaterialTemplate", kSkcMaterialTemplate, 214},
    {"kAc3dHeader", kAc3dHeader, 166},
};

constexpr DoubleDef kDoubles[] = {
    {"kOne", 1.0},
    {"kTwo", 2.0},
};

}  // namespace

std::span<const TextDef> moduleTexts() { return kTexts; }
std::span<const ByteSetDef> moduleByteSets() { return kByteSets; }
std::span<const DoubleDef> moduleDoubles() { return kDoubles; }

std::span<const ShapeDef> moduleShapes() {
  static const ShapeDef kShapes[] = {
      {"kEmptyList", {0}},     // shape (1, 0): an empty list
      {"kFiveElements", {5}},  // shape (1, 5): the start-up tables
  };
  return kShapes;
}

}  // namespace ql::imagegen
