#pragma once

class KXCanvas;
class KXScene;

// Fills the canvas's editor aids as an editor would, so that a picture shows
// them: a marker for every light of the scene, the first shape standing
// above the ground selected with its selection box, its move handles (the x
// handle picked, with its guide) and the axes in the corner.
void setUpEditorAids(KXCanvas& canvas, const KXScene& scene);
