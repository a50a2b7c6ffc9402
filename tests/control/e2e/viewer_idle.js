// The viewer methods on an empty viewer, with their results and the
// button states reported after each.
var methods = ["ViewSinglePage", "ViewThumb4", "ViewThumb9", "ViewSinglePage", "NormalView", "FullView",
               "ZoomOut", "ZoomIn", "GoFirstPage", "GoPrevPage", "GoNextPage", "GoLastPage", "DeleteImage",
               "RotateLeft", "Rotate", "RotateRight", "Cut", "Flip", "Mirror", "Undo", "GetFileCount"];
for (var i = 0; i < methods.length; i++) {
    dociva[methods[i]]();
}
